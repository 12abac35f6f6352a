#!/bin/sh
# Starts the editor from a build folder. When no FTDI bridge is attached, the
# virtual pedal is started first (and stopped with the editor), so the
# editor has a pedal to link to.
BUILD=${1:-build}
if [ -z "$DISPLAY" ] && [ -z "$WAYLAND_DISPLAY" ] && [ -z "$QT_QPA_PLATFORM" ]; then
    echo "No display: run this from a desktop session, or without one use: xvfb-run make run" >&2
    exit 2
fi

ftdi_attached() {
    for v in /sys/bus/usb/devices/*/idVendor; do
        [ -r "$v" ] && [ "$(cat "$v")" = "0403" ] && return 0
    done
    return 1
}

SIM_PID=""
if ! ftdi_attached && [ -x "$BUILD/tharnvik-pedal-sim" ]; then
    echo "No FTDI bridge attached: starting the virtual pedal."
    "$BUILD/tharnvik-pedal-sim" --paced &
    SIM_PID=$!
    trap 'kill "$SIM_PID" 2>/dev/null; wait "$SIM_PID" 2>/dev/null' EXIT INT TERM
    # Give it a moment to announce its bridge.
    sleep 0.5
fi

"$BUILD/tharnvik-editor"
status=$?
exit $status
