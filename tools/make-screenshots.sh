#!/bin/sh
# Pictures of the windows for the README, drawn by the program itself under a
# private X server (Xvfb), in the default look: main window, effect window,
# debug console, firmware window, new-version window.
# Usage: tools/make-screenshots.sh [BUILD_DIR] [OUT_DIR]
set -eu
BUILD=${1:-build}
OUT=${2:-docs/images}
TOOL=$(find "$BUILD" -name tharnvik-screenshots -type f | head -1)
[ -n "$TOOL" ] || { echo "build first: cmake --build $BUILD --target tharnvik-screenshots" >&2; exit 1; }
SCRATCH=$(mktemp -d)
trap 'rm -rf "$SCRATCH"' EXIT
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1600x900x24" "$TOOL" "$SCRATCH"
for f in main-window effect-window debug-console firmware-window new-version; do
    cp "$SCRATCH/$f.png" "$OUT/$f.png"
done
echo "pictures in $OUT"
