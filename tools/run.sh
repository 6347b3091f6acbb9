#!/usr/bin/env bash
# Builds Fleetwing and starts it. Without a display it starts a virtual X server first and
# says so.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/install-deps.sh"

cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFW_BENCH=OFF >/dev/null
cmake --build "$root/build" --target fleetwing -j"$(nproc)"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: starting the program on a virtual X server (Xvfb)."
    exec xvfb-run -a -s "-screen 0 1280x800x24" "$root/build/fleetwing" "$@"
fi
exec "$root/build/fleetwing" "$@"
