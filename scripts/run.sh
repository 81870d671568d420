#!/usr/bin/env bash
# Builds Bellwick and starts it in the folder that holds the executable and belwik.htm.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}

bash "$top/scripts/build.sh" --target bellwick

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "bellwick: no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is set)." >&2
    echo "bellwick: start it from a desktop session, or under a virtual one:" >&2
    echo "    xvfb-run -s '-screen 0 1280x800x24' bash scripts/run.sh" >&2
    exit 1
fi
if [ -n "${DISPLAY:-}" ]; then
    export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-xcb}
fi
cd "$build/app"
exec ./bellwick
