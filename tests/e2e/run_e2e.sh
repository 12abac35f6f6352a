#!/bin/sh
# Runs one end-to-end story under a private X server and session bus.
# Exit 77 (skipped) when the desktop test tools are not installed.
EDITOR=$1
PEDAL=$2
STORY=$3
HERE=$(dirname "$0")
for tool in Xvfb dbus-run-session; do
    command -v "$tool" >/dev/null 2>&1 || { echo "skipped: $tool is not installed"; exit 77; }
done
/usr/bin/python3 -c "import pyatspi" 2>/dev/null || { echo "skipped: python3-pyatspi is not installed"; exit 77; }
unset QT_QPA_PLATFORM XAUTHORITY

SCRATCH=$(mktemp -d)
XVFB_PID=

# The server picks a display that is free in every sense it checks (lock
# file, socket file, abstract socket) and writes its number to fd 3 once it
# takes connections, so concurrent suites never race for a number. It is a
# private server without TCP, so it needs no cookie (-ac): nothing can come
# between the story and its display.
start_x() {
    : > "$SCRATCH/display"
    Xvfb -displayfd 3 -screen 0 1600x900x24 -nolisten tcp -ac \
        3>"$SCRATCH/display" 2>"$SCRATCH/xvfb.log" &
    XVFB_PID=$!
    tries=0
    while [ ! -s "$SCRATCH/display" ]; do
        if ! kill -0 "$XVFB_PID" 2>/dev/null || [ $tries -ge 200 ]; then
            echo "the private X server did not start:"
            cat "$SCRATCH/xvfb.log"
            return 1
        fi
        tries=$((tries + 1))
        sleep 0.1
    done
    DISPLAY=:$(tr -dc 0-9 < "$SCRATCH/display")
    export DISPLAY
}

stop_x() {
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
        XVFB_PID=
    fi
}

trap 'stop_x; rm -rf "$SCRATCH"' EXIT

run() {
    start_x || return 75
    dbus-run-session -- /usr/bin/python3 "$HERE/$STORY" "$EDITOR" "$PEDAL" > "$SCRATCH/out" 2>&1
    status=$?
    cat "$SCRATCH/out"
    if grep -q "could not connect to display" "$SCRATCH/out"; then
        if kill -0 "$XVFB_PID" 2>/dev/null; then
            echo "the editor could not connect to the X server on $DISPLAY, which is still running; its log:"
        else
            echo "the X server on $DISPLAY ended during the story; its log:"
        fi
        cat "$SCRATCH/xvfb.log"
        status=75
    fi
    stop_x
    return $status
}

# A display the editor could not reach is the machine's fault, not the
# story's: such a run is tried once more on a fresh server.
run
status=$?
if [ $status -eq 75 ]; then
    echo "running the story once more on a fresh X server"
    run
    status=$?
fi
exit $status
