#!/bin/sh
# Starts the editor from a build folder.
BUILD=${1:-build}
if [ -z "$DISPLAY" ] && [ -z "$WAYLAND_DISPLAY" ] && [ -z "$QT_QPA_PLATFORM" ]; then
    echo "No display: run this from a desktop session, or without one use: xvfb-run make run" >&2
    exit 2
fi
exec "$BUILD/tharnvik-editor"
