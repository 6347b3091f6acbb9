#!/usr/bin/env bash
# Builds the artwork generator (tools/artwork) and redraws the program's bitmaps, icon and GIF
# animations in res/art/. Commit the files it changes; the artwork test checks that the files
# in res/art/ are exactly what the generator draws.
#   tools/make-artwork.sh [--contact-sheet FILE.png]   also writes a sheet to look at
#   FW_ARTWORK_BUILD   build folder (default build-artwork)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FW_ARTWORK_BUILD:-$root/build-artwork}

cmake -S "$root" -B "$build" -G Ninja -DFW_BENCH=OFF >/dev/null
cmake --build "$build" --target fw_artwork -j"${FW_JOBS:-2}"
QT_QPA_PLATFORM=offscreen "$build/tools/artwork/fw_artwork" "$root/res/art" "$@"
echo "res/art/ redrawn"
