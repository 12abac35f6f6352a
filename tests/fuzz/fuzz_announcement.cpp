// A virtual pedal's announcement file, as the editor lists bridges from it,
// links to what it lists and moves its latency timer as a link does.
//
// The input may name the fixture: $D the announcement folder, $O the folder
// above it (outside), $T a live pseudo-terminal, $P this process. The folder
// holds a FIFO (fifo), a regular file (plain), a link to the pseudo-terminal
// (pty-link) and a link out of the folder (out-link); outside lies a file
// that nothing may ever write (precious). An input that starts with "#open"
// is read with the folder open to others, where nothing may be listed.
#include "VirtualBridgeDriver.h"

#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <pty.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Fixture {
    QTemporaryDir root;
    std::string outside = root.path().toStdString();
    std::string folder = outside + "/bridges";
    std::string precious = outside + "/precious";
    std::string terminal;
    int master = -1;

    Fixture()
    {
        ::mkdir(folder.c_str(), 0700);
        std::ofstream(precious) << "keep me\n";
        std::ofstream(folder + "/plain") << "16\n";
        std::ofstream(folder + "/SIM.latency") << "16\n";
        ::mkfifo((folder + "/fifo").c_str(), 0600);
        int slave = -1;
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) == 0) {
            terminal = ::ptsname(master);
            ::close(slave);
        }
        ::symlink(terminal.c_str(), (folder + "/pty-link").c_str());
        ::symlink(precious.c_str(), (folder + "/out-link").c_str());
    }
};

std::string withFixture(std::string text, const Fixture &f)
{
    const std::pair<std::string, std::string> names[] = {
        {"$D", f.folder}, {"$O", f.outside}, {"$T", f.terminal}, {"$P", std::to_string(::getpid())}};
    for (const auto &[token, value] : names)
        for (std::size_t at = text.find(token); at != std::string::npos; at = text.find(token, at + value.size()))
            text.replace(at, token.size(), value);
    return text;
}

std::string wholeFile(const std::string &file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static Fixture f;
    const std::string text = withFixture(std::string(reinterpret_cast<const char *>(data), size), f);
    const bool open = text.rfind("#open", 0) == 0;
    {
        std::ofstream out(f.folder + "/THV00001.bridge", std::ios::binary | std::ios::trunc);
        out << text;
    }
    ::chmod(f.folder.c_str(), open ? 0750 : 0700);
    VirtualBridgeDriver driver(f.folder);
    DWORD count = 0;
    if (driver.FT_ListDevices(&count, nullptr, ft::LIST_NUMBER_ONLY) == ft::OK) {
        if (open && count != 0)
            std::abort(); // listed from a folder others can reach
        for (DWORD i = 0; i < count; ++i) {
            char serial[ft::kListBufferSize] = {};
            char description[ft::kListBufferSize] = {};
            driver.FT_ListDevices(reinterpret_cast<void *>(static_cast<std::uintptr_t>(i)), serial,
                                  ft::LIST_BY_INDEX | ft::OPEN_BY_SERIAL_NUMBER);
            driver.FT_ListDevices(reinterpret_cast<void *>(static_cast<std::uintptr_t>(i)), description,
                                  ft::LIST_BY_INDEX | ft::OPEN_BY_DESCRIPTION);
            // As a link and an unlink do.
            FT_HANDLE h = 0;
            if (driver.FT_OpenEx(serial, ft::OPEN_BY_SERIAL_NUMBER, &h) == ft::OK) {
                UCHAR ms = 0;
                driver.FT_GetLatencyTimer(h, &ms);
                driver.FT_SetLatencyTimer(h, 1);
                driver.FT_SetLatencyTimer(h, 16);
                driver.FT_Close(h);
            }
        }
    }
    driver.takeListingNotes();
    struct stat st {};
    if (wholeFile(f.precious) != "keep me\n" || ::lstat((f.folder + "/fifo").c_str(), &st) != 0 ||
        !S_ISFIFO(st.st_mode))
        std::abort(); // something outside the folder, or not a regular file, was written
    return 0;
}
