#!/bin/sh
# Runs every benchmark of a build folder and prints their figures.
BUILD=${1:-build}
status=0
for b in "$BUILD"/bench/bench_*; do
    [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$b" || status=1
done
exit $status
