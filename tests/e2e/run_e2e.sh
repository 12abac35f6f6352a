#!/bin/sh
# Runs one end-to-end story under a private X server and session bus.
# Exit 77 (skipped) when the desktop test tools are not installed.
EDITOR=$1
PEDAL=$2
STORY=$3
HERE=$(dirname "$0")
for tool in xvfb-run dbus-run-session; do
    command -v "$tool" >/dev/null 2>&1 || { echo "skipped: $tool is not installed"; exit 77; }
done
/usr/bin/python3 -c "import pyatspi" 2>/dev/null || { echo "skipped: python3-pyatspi is not installed"; exit 77; }
unset QT_QPA_PLATFORM
# Several suites may run at once on one machine: each starts its search for a
# free display at a number of its own, so that two do not race for the same one.
run() {
    xvfb-run -a -n $((100 + $$ % 800)) -s "-screen 0 1600x900x24" dbus-run-session -- \
        /usr/bin/python3 "$HERE/$STORY" "$EDITOR" "$PEDAL" 2>&1
}
OUT=$(mktemp)
trap 'rm -f "$OUT"' EXIT
run > "$OUT"
status=$?
cat "$OUT"
# An X server that never took connections is the machine's fault, not the
# story's: such a run is tried once more.
if grep -q "could not connect to display" "$OUT"; then
    echo "the private X server did not take connections; running the story once more"
    run
    status=$?
fi
exit $status
