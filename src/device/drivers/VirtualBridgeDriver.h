#pragma once

#include "SerialPortDriver.h"

#include <string>

// Bridges that a virtual pedal on this machine announces: one file
// `<serial>.bridge` per bridge in a folder, lines key=value with serial,
// description, path (a pseudo-terminal) and pid, and optionally latency (a
// file holding the bridge's latency timer in ms, as sysfs's latency_timer
// does for a real bridge). A file is ignored when a key other than latency
// is missing, the pid is not a number or not running, or the path does not
// exist. Bridges are listed in the order of their file names.
class VirtualBridgeDriver : public SerialPortDriver {
public:
    explicit VirtualBridgeDriver(std::string folder = defaultFolder());
    bool isVirtualBridge(FT_HANDLE) const override { return true; }
    const char *driverName(DWORD) const override { return "virtual bridge"; }

    // $THARNVIK_BRIDGES_DIR, else $XDG_RUNTIME_DIR/tharnvik-bridges, else
    // /tmp/tharnvik-bridges-<uid>.
    static std::string defaultFolder();

    const std::string &folder() const { return m_folder; }

protected:
    std::vector<Bridge> enumerate() const override;

private:
    std::string m_folder;
};
