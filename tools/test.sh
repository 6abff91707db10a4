#!/usr/bin/env bash
# Installs what is missing, then configures, builds and runs every test of one
# CMake preset ("default" unless named). QUILLORY_WERROR=ON makes warnings errors.
set -euo pipefail

preset="${1:-default}"
cd "$(dirname "$0")/.."

tools/install-deps.sh
cmake --preset "$preset" -DQUILLORY_WERROR="${QUILLORY_WERROR:-OFF}"
cmake --build --preset "$preset"
ctest --preset "$preset"
