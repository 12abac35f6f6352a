#!/bin/sh
# Installs the build and test dependencies that are missing (Debian 12 /
# Ubuntu). Uses sudo when not run as root. Quiet when everything is there.
set -e

PACKAGES="cmake ninja-build g++ make pkg-config python3 qt6-base-dev qt6-base-dev-tools qt6-serialport-dev \
libgtest-dev libgmock-dev libbenchmark-dev libgl-dev"
# The Arial-compatible font the windows are laid out for, and Debian's default
# sans font, which the tests also check the windows with.
PACKAGES="$PACKAGES fonts-liberation2 fonts-dejavu-core"
# The updater's signature check (and tools/updater_signing.py).
PACKAGES="$PACKAGES libsodium-dev"
# For running the editor and the end-to-end tests without a desktop.
PACKAGES="$PACKAGES xvfb xauth dbus at-spi2-core python3-pyatspi"
# An independent bootloader client, to check the virtual pedal's bootloader.
PACKAGES="$PACKAGES stm32flash"
# Packaging: the Debian package's library dependencies (dpkg-shlibdeps, and
# file, which CPack uses to find the programs), desktop entry checks.
PACKAGES="$PACKAGES dpkg-dev file desktop-file-utils appstream"
# The fuzz targets: clang with its libFuzzer.
PACKAGES="$PACKAGES clang libclang-rt-14-dev"
if [ -n "$THARNVIK_EXTRA_PACKAGES" ]; then
    PACKAGES="$PACKAGES $THARNVIK_EXTRA_PACKAGES"
fi

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

if ! command -v apt-get >/dev/null 2>&1; then
    echo "Missing packages:$missing. Install them with your package manager." >&2
    exit 1
fi
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
echo "Installing:$missing"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
