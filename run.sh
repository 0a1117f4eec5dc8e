#!/usr/bin/env bash
# Installs what is missing, builds and stages build/Quillobrand/ and starts Quillobrand.
set -euo pipefail
cd "$(dirname "$0")"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display available: Quillobrand needs a graphical desktop (DISPLAY is not set)." >&2
    exit 1
fi
./tools/install-deps.sh
if [ -n "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && ! xdpyinfo >/dev/null 2>&1; then
    echo "No display available: the X display $DISPLAY can't be reached." >&2
    exit 1
fi
./tools/build.sh
echo "Starting Quillobrand"
exec build/Quillobrand/quillobrand
