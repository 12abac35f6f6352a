#pragma once

#include <string>
#include <sys/types.h>

namespace sim {

// The file that tells editors on this machine where a virtual bridge is:
// `<serial>.bridge` in the bridges folder, UTF-8 lines key=value
// (serial, description, path, pid, latency).
struct Announcement {
    std::string serial;
    std::string description;
    std::string path; // the pseudo-terminal
    long pid = 0;
};

// What announce() made: the only files withdraw() removes.
struct Announced {
    std::string file;    // `<serial>.bridge`; empty when nothing was announced
    // `<serial>.latency`, which plays the bridge's sysfs latency_timer: the
    // latency timer in ms, as text. An editor writes into it; the pedal paces
    // its answers by it.
    std::string latency;
    dev_t fileDevice = 0;
    ino_t fileInode = 0;
    dev_t latencyDevice = 0;
    ino_t latencyInode = 0;
};

// `<serial>.latency` in the folder.
std::string latencyFileFor(const std::string &folder, const std::string &serial);
// The number in a latency file (1 to 255), or `fallback` when it holds none
// or is not a regular file (it is never followed through a link, and a FIFO
// is not waited on).
int readLatencyFile(const std::string &file, int fallback);

// $THARNVIK_BRIDGES_DIR, else $XDG_RUNTIME_DIR/tharnvik-bridges, else
// /tmp/tharnvik-bridges-<uid>.
std::string bridgesFolder();

// Creates the folder with mode 0700 if needed (missing parents get the usual
// 0755 minus umask), and refuses one that is not the user's private folder:
// a real folder (not a link), the user's, with no permission for the group
// or others. Then writes the latency file with the bridge's default, 16,
// and the announcement, each as a new file renamed into place. Refuses a
// serial that cannot be a file name, and a serial another running process
// has announced. Returns what it made; on failure an empty file, with
// `error` set and nothing left behind.
Announced announce(const std::string &folder, const Announcement &a, std::string &error);

// Removes the files announce() made, each only while it is still the one it
// made.
void withdraw(const Announced &announced);

} // namespace sim
