#pragma once

#include <string>

namespace sim {

// The file that tells editors on this machine where a virtual bridge is:
// `<serial>.bridge` in the bridges folder, UTF-8 lines key=value
// (serial, description, path, pid, and latency when set).
struct Announcement {
    std::string serial;
    std::string description;
    std::string path; // the pseudo-terminal
    long pid = 0;
    // A file that plays the bridge's sysfs latency_timer: the latency timer in
    // ms, as text. An editor writes into it; the pedal paces its answers by it.
    std::string latency;
};

// `<serial>.latency` in the folder.
std::string latencyFileFor(const std::string &folder, const std::string &serial);
// The number in a latency file (1 to 255), or `fallback` when it holds none.
int readLatencyFile(const std::string &file, int fallback);

// $THARNVIK_BRIDGES_DIR, else $XDG_RUNTIME_DIR/tharnvik-bridges, else
// /tmp/tharnvik-bridges-<uid>.
std::string bridgesFolder();

// Creates the folder (mode 0700) if needed and writes the file atomically
// (a temporary file renamed into place), after writing the latency file (if
// any) with the bridge's default, 16. Refuses a serial that cannot be a file
// name, and a serial another running process has announced. Returns the
// file's path, or an empty string with `error` set.
std::string announce(const std::string &folder, const Announcement &a, std::string &error);

// Removes the file (and its latency file) if it still announces this process.
void withdraw(const std::string &file);

} // namespace sim
