#pragma once

#include "SerialPortDriver.h"

#include <set>
#include <string>

// Bridges that a virtual pedal on this machine announces: one file
// `<serial>.bridge` per bridge in a folder, lines key=value with serial,
// description, path (a pseudo-terminal) and pid, and optionally latency (a
// file holding the bridge's latency timer in ms, as sysfs's latency_timer
// does for a real bridge). Bridges are listed in the order of their file
// names.
//
// Only the user's own private folder is read: a real folder (not a link),
// the user's, with no permission for the group or others. Any other folder
// lists nothing, and the listing notes say once why and what to do. Within
// it an announcement is read only when it is a regular file of the user's
// (never through a link), and ignored when a key other than latency is
// missing, the pid is not a number or not running, the path is not a
// pseudo-terminal of the user's, or the latency file is not a name inside
// the folder or is there but not a regular file of the user's. The latency
// file is then only ever opened inside the folder, without following a link
// or waiting; the port only when it opens as a pseudo-terminal.
class VirtualBridgeDriver : public SerialPortDriver {
public:
    explicit VirtualBridgeDriver(std::string folder = defaultFolder());
    bool isVirtualBridge(FT_HANDLE) const override { return true; }
    const char *driverName(DWORD) const override { return "virtual bridge"; }
    std::vector<std::string> takeListingNotes() override;

    // $THARNVIK_BRIDGES_DIR, else $XDG_RUNTIME_DIR/tharnvik-bridges, else
    // /tmp/tharnvik-bridges-<uid>.
    static std::string defaultFolder();

    const std::string &folder() const { return m_folder; }

protected:
    std::vector<Bridge> enumerate() const override;

private:
    std::string m_folder;
    // Each note is given once per run.
    mutable std::set<std::string> m_said;
    mutable std::vector<std::string> m_notes;
};
