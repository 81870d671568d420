#!/usr/bin/env bash
# Installs what the project needs, then configures and builds it.
# BUILD_DIR (default build) and CMAKE_ARGS (extra configure arguments) may be set.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}

bash "$top/scripts/install-deps.sh"
# shellcheck disable=SC2086
cmake -S "$top" -B "$build" -G Ninja ${CMAKE_ARGS:-}
cmake --build "$build" --parallel "$(nproc)" "$@"
