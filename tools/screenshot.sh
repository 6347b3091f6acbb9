#!/usr/bin/env bash
# Takes a screenshot of the console on a virtual X server into docs/console.png.
#   usage: tools/screenshot.sh [BUILD-DIR] [OUT.png]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
out=${2:-$root/docs/console.png}
cmake --build "$build" --target fleetwing e2e_grab_screen >/dev/null
tmp=$(mktemp -d /tmp/fw-shot.XXXXXX)
trap 'kill "${app:-}" "${xvfb:-}" 2>/dev/null; rm -rf "$tmp"' EXIT
export HOME=$tmp XDG_CONFIG_HOME=$tmp/.config XDG_RUNTIME_DIR=$tmp WINEPREFIX=$tmp/.wine
export QT_QPA_PLATFORM=xcb
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$tmp/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$tmp/display")
# The server answers once it is ready for clients.
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
"$build/fleetwing" >/dev/null 2>&1 &
app=$!
id=
for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name '^Fleetwing$' 2>/dev/null | head -n 1) && [ -n "$id" ] && break
    sleep 0.1
done
[ -n "$id" ] || { echo "the console did not appear" >&2; exit 1; }
sleep 1.5
mkdir -p "$(dirname "$out")"
"$build/tests/e2e/e2e_grab_screen" "$out" "$id"
echo "wrote $out"
