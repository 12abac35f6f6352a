#!/bin/sh
# Runs every benchmark of a build folder, each printing its figures, then
# prints them all as one Markdown table (also kept in BUILD/bench-table.md).
BUILD=${1:-build}
status=0
TABLE=$(realpath "$BUILD")/bench-table.md
: > "$TABLE.rows"
for b in "$BUILD"/bench/bench_*; do
    [ -f "$b" ] && [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    THARNVIK_BENCH_TABLE="$TABLE.rows" QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$b" || status=1
done
{
    echo "| figure | measured | target or peer | ratio | how |"
    echo "|---|---|---|---|---|"
    cat "$TABLE.rows"
} > "$TABLE"
rm -f "$TABLE.rows"
echo
echo "== all figures (ratio: measured / target; below 1 is better)"
cat "$TABLE"
exit $status
