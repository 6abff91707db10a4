#!/usr/bin/env bash
# Builds the Debian package in Release (in build-package/) and writes
# dist/quillory_<version>_amd64.deb. Extra arguments go to cmake, e.g.
# -DQUILLORY_APP_ID=org.maker.Quillory -DQUILLORY_SUPPORT_EMAIL=help@maker.org.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh package

# Debian's hardening flags; CMake takes no CPPFLAGS, so they join CXXFLAGS.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CXXFLAGS LDFLAGS

cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DBUILD_TESTING=OFF -DQUILLORY_BENCHMARKS=OFF "$@"
cmake --build build-package
rm -rf build-package/dist
(cd build-package && cpack -G DEB)
mkdir -p dist
rm -f dist/quillory_*.deb
cp build-package/dist/quillory_*.deb dist/
ls dist/quillory_*.deb
