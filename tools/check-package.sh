#!/usr/bin/env bash
# Checks the package that tools/package.sh wrote: lintian and the AppStream
# validator must accept it; then it is installed, the installed program must
# open its window on a private X server (the smoke test built by
# tools/test.sh, pointed at /usr/bin/quillory), and removing the package must
# leave none of its files behind. Installs and removes packages: run as root
# (CI does) or with sudo.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh package

debs=(dist/quillory_*_amd64.deb)
if ((${#debs[@]} != 1)) || [[ ! -f "${debs[0]}" ]]; then
    echo "check-package: expected one dist/quillory_*_amd64.deb; run tools/package.sh" >&2
    exit 1
fi
deb="$PWD/${debs[0]}"
smoke="$PWD/build/tests/tst_smoke"
if [[ ! -x "$smoke" ]]; then
    echo "check-package: $smoke is missing; run tools/test.sh first" >&2
    exit 1
fi
as_root=()
if ((EUID != 0)); then
    as_root=(sudo)
fi

echo "== lintian"
lintian --fail-on error,warning "$deb"

echo "== appstreamcli validate"
workdir="$(mktemp -d)"
trap 'rm -rf "$workdir"' EXIT
dpkg-deb -x "$deb" "$workdir/root"
metainfo=("$workdir"/root/usr/share/metainfo/*.metainfo.xml)
# --no-net: the screenshot and home page addresses are placeholders until the maker sets them.
appstreamcli validate --no-net --strict "${metainfo[@]}"
app_id="$(basename "${metainfo[0]}" .metainfo.xml)"

echo "== install"
if dpkg-query -W -f='${Status}' quillory 2>/dev/null | grep -q "ok installed"; then
    echo "check-package: quillory is already installed here; not replacing it" >&2
    exit 1
fi
# Without the recommends: a spreadsheet program is no part of this check.
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$deb"
dpkg-query -L quillory >"$workdir/files"
remove() { "${as_root[@]}" dpkg -r quillory >/dev/null; }
trap 'remove || true; rm -rf "$workdir"' EXIT

test -x /usr/bin/quillory
test -f "/usr/share/applications/$app_id.desktop"
for size in 16 24 32 48 64 128 256; do
    test -f "/usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png"
done
test -f "/usr/share/icons/hicolor/scalable/apps/$app_id.svg"
test -f /usr/share/man/man1/quillory.1.gz

echo "== the installed program's window"
QUILLORY_SMOKE_EXECUTABLE=/usr/bin/quillory QUILLORY_SMOKE_DESKTOP_FILE="/usr/share/applications/$app_id.desktop" \
    "$smoke" -silent

echo "== remove"
trap 'rm -rf "$workdir"' EXIT
remove
if dpkg-query -W -f='${Status}' quillory 2>/dev/null | grep -q "installed"; then
    echo "check-package: quillory is still registered after dpkg -r" >&2
    exit 1
fi
left=0
while read -r path; do
    # Shared folders such as /usr/share/icons stay; the package's own files and folders go.
    if [[ -e "$path" && ! -d "$path" ]] || [[ -d "$path" && "$path" == *quillory* ]]; then
        echo "check-package: left behind: $path" >&2
        left=1
    fi
done <"$workdir/files"
exit "$left"
