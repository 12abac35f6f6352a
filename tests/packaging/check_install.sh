#!/bin/sh
# Installs the build into a scratch prefix and checks what a desktop needs
# is there; then builds the Debian package and checks its contents.
# Usage: check_install.sh BUILD_DIR
set -eu
BUILD=$1
SCRATCH=$(mktemp -d)
trap 'rm -rf "$SCRATCH"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$BUILD" --prefix "$SCRATCH/usr" >/dev/null
for f in bin/tharnvik-editor bin/tharnvik-pedal-sim bin/tharnvik-cli \
         share/applications/tharnvik-editor.desktop \
         share/metainfo/example.vorma.TharnvikEditor.metainfo.xml \
         share/icons/hicolor/scalable/apps/tharnvik-editor.svg \
         share/icons/hicolor/128x128/apps/tharnvik-editor.png \
         lib/udev/rules.d/70-tharnvik-ftdi.rules \
         share/tharnvik-editor/payloads/THARNVIK_MK3_0015; do
    [ -e "$SCRATCH/usr/$f" ] || fail "not installed: $f"
done
DESKTOP=$SCRATCH/usr/share/applications/tharnvik-editor.desktop
grep -qx 'Categories=AudioVideo;Audio;' "$DESKTOP" || fail "desktop entry category"
grep -qx 'Exec=tharnvik-editor' "$DESKTOP" || fail "desktop entry Exec"
if command -v desktop-file-validate >/dev/null 2>&1; then
    desktop-file-validate "$DESKTOP" || fail "desktop-file-validate"
fi
grep -q '^Keywords=.*guitar' "$DESKTOP" || fail "desktop entry keywords"
METAINFO=$SCRATCH/usr/share/metainfo/example.vorma.TharnvikEditor.metainfo.xml
if command -v appstreamcli >/dev/null 2>&1; then
    appstreamcli validate --no-net "$METAINFO" >/dev/null || { appstreamcli validate --no-net "$METAINFO"; fail "appstreamcli validate"; }
fi
grep -q '<launchable type="desktop-id">tharnvik-editor.desktop</launchable>' "$METAINFO" || fail "metainfo launchable"
RULE=$SCRATCH/usr/lib/udev/rules.d/70-tharnvik-ftdi.rules
# Every rule matches only the FTDI vendor and only adds the seat tag and the
# ModemManager flag.
grep -v '^#' "$RULE" | grep -E 'idVendor' | while read -r line; do
    echo "$line" | grep -q '=="0403"' || fail "rule for another vendor: $line"
    rest=$(echo "$line" | sed -e 's/[A-Z{}a-z_]*=="[^"]*",\{0,1\} *//g')
    [ "$rest" = 'TAG+="uaccess", ENV{ID_MM_DEVICE_IGNORE}="1"' ] || fail "rule changes more: $rest"
done

# The latency rule comes as documentation, never as an active rule, and sets
# nothing but latency_timer of FTDI bridges bound to ftdi_sio.
LATENCY=$SCRATCH/usr/share/doc/tharnvik-editor/71-tharnvik-latency.rules.optional
[ -f "$LATENCY" ] || fail "not installed: the optional latency rule"
[ -z "$(ls "$SCRATCH/usr/lib/udev/rules.d" | grep -v '^70-tharnvik-ftdi.rules$')" ] || fail "more than one active rule"
grep -v '^#' "$LATENCY" | grep -v '^$' | while read -r line; do
    echo "$line" | grep -q 'ATTRS{idVendor}=="0403"' || fail "latency rule for another vendor: $line"
    echo "$line" | grep -q 'DRIVER=="ftdi_sio"' || fail "latency rule not limited to ftdi_sio: $line"
    rest=$(echo "$line" | sed -e 's/[A-Z{}a-z_]*=="[^"]*",\{0,1\} *//g')
    [ "$rest" = 'ATTR{latency_timer}="1"' ] || fail "latency rule changes more: $rest"
done

# The command-line tool is built on the core alone: no Qt Gui, no Qt Widgets.
if command -v readelf >/dev/null 2>&1; then
    NEEDED=$(readelf -d "$SCRATCH/usr/bin/tharnvik-cli" | grep NEEDED)
    echo "$NEEDED" | grep -q 'libQt6Core' || fail "tharnvik-cli does not name Qt Core: $NEEDED"
    if echo "$NEEDED" | grep -Eq 'libQt6(Gui|Widgets)'; then
        fail "tharnvik-cli needs Qt Gui or Widgets: $NEEDED"
    fi
fi
"$SCRATCH/usr/bin/tharnvik-cli" --help >/dev/null || fail "installed tharnvik-cli --help"

# The installed virtual pedal finds its images away from the source tree.
"$SCRATCH/usr/bin/tharnvik-pedal-sim" --help >/dev/null || fail "installed pedal --help"

if command -v dpkg-deb >/dev/null 2>&1 && command -v cpack >/dev/null 2>&1; then
    (cd "$SCRATCH" && cpack --config "$BUILD/CPackConfig.cmake" -B "$SCRATCH/pkg" >/dev/null) || fail "cpack"
    DEB=$(ls "$SCRATCH"/pkg/*.deb)
    CONTENTS=$(dpkg-deb -c "$DEB")
    for f in ./usr/bin/tharnvik-editor ./usr/bin/tharnvik-pedal-sim ./usr/bin/tharnvik-cli ./usr/lib/udev/rules.d/70-tharnvik-ftdi.rules \
             ./usr/share/applications/tharnvik-editor.desktop ./usr/share/metainfo/example.vorma.TharnvikEditor.metainfo.xml; do
        echo "$CONTENTS" | grep -q " $f\$" || fail "package lacks $f"
    done
    dpkg-deb -f "$DEB" Depends | grep -q libqt6widgets6 || fail "package does not depend on Qt's widgets"
    dpkg-deb -f "$DEB" Depends | grep -q fonts-liberation2 || fail "package does not depend on the Arial-compatible font"
    # The editor checks the updater's signature with libsodium.
    dpkg-deb -f "$DEB" Depends | grep -q libsodium || fail "package does not depend on libsodium"
fi
echo "install layout and package: ok"
