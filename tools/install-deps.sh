#!/usr/bin/env bash
# Installs the Debian 12 packages needed to build Quillory and run its tests;
# "tools/install-deps.sh package" adds what building and checking the Debian
# package needs, "tools/install-deps.sh fuzz" what the fuzz targets need.
# Runs as root, or through sudo; does nothing when everything is there.
set -euo pipefail

packages=(
    # build; rsvg-convert renders the PNG icons from the SVG
    g++ cmake ninja-build pkg-config qt6-base-dev libxlsxwriter-dev libx11-dev librsvg2-bin
    # build of the real-window test: real keyboard and mouse input (XTest)
    libxtst-dev
    # run: the SVG icon engine and the window's font (metric-compatible with Arial)
    libqt6svg6 fonts-liberation
    # tests: a private X server for the real-window test, and a workbook reader; Qt's private
    # headers let the accessibility test listen to what the lists tell a screen reader
    xvfb xauth python3-openpyxl qt6-base-private-dev
    # tests: a screen reader's view of the window (AT-SPI on a private session bus)
    dbus at-spi2-core python3-pyatspi
    # tests: a dark desktop colour theme (GTK's Adwaita:dark) for the real window
    qt6-gtk-platformtheme
)
if [[ "${1:-}" == package ]]; then
    packages+=(
        # CPack's DEB generator: dependencies (dpkg-shlibdeps), hardening flags, ELF detection
        dpkg-dev file
        # checks of the package and of its AppStream metadata
        lintian appstream
    )
fi

if [[ "${1:-}" == fuzz ]]; then
    packages+=(
        # libFuzzer and the sanitizers' runtimes come with clang; lld drops the
        # window code the targets never reach; llvm for coverage reports
        clang libclang-rt-14-dev lld llvm
    )
fi

missing=()
for package in "${packages[@]}"; do
    if [[ "$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null)" != "install ok installed" ]]; then
        missing+=("$package")
    fi
done
if ((${#missing[@]} == 0)); then
    exit 0
fi

as_root=()
if ((EUID != 0)); then
    as_root=(sudo)
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
