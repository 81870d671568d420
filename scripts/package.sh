#!/usr/bin/env bash
# Builds the Debian package build/bellwick_<version>_<arch>.deb (installs what it needs).
# Install it with: apt install ./build/bellwick_1.03_*.deb
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}

bash "$top/scripts/build.sh"
cd "$build"
cpack -G DEB
