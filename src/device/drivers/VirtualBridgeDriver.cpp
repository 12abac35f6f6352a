#include "VirtualBridgeDriver.h"

#include "PrivateFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <optional>
#include <signal.h>
#include <sys/stat.h>
#include <utility>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSuffix = ".bridge";
constexpr off_t kLargestFile = 64 * 1024;

bool running(const std::string &pidText)
{
    if (pidText.empty() || pidText.size() > 9 ||
        !std::all_of(pidText.begin(), pidText.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const long pid = std::strtol(pidText.c_str(), nullptr, 10);
    // EPERM: running, as somebody else.
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

// The whole of a small regular file of the user's inside the folder.
std::optional<std::string> readOwnFile(int dir, const std::string &name)
{
    const int fd = privatefiles::openOwnFile(dir, name, O_RDONLY);
    if (fd < 0)
        return std::nullopt;
    std::optional<std::string> text;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size <= kLargestFile) {
        text.emplace();
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0 && text->size() <= static_cast<std::size_t>(kLargestFile))
            text->append(buffer, static_cast<std::size_t>(n));
        if (n < 0 || text->size() > static_cast<std::size_t>(kLargestFile))
            text.reset();
    }
    ::close(fd);
    return text;
}

// The name of `file` when it lies directly inside `folder`, else empty.
std::string nameInside(const std::string &file, const std::string &folder)
{
    const fs::path normal = fs::path(file).lexically_normal();
    const std::string name = normal.filename().string();
    if (name.empty() || name == "." || name == "..")
        return {};
    const fs::path parent = privatefiles::withoutTrailingSlash(normal.parent_path().string());
    const fs::path dir = privatefiles::withoutTrailingSlash(fs::path(folder).lexically_normal().string());
    return parent == dir ? name : std::string();
}

// A latency file the announcement may name: inside the folder, and when it
// is there, a regular file of the user's.
bool acceptableLatencyFile(int dir, const std::string &folder, const std::string &file)
{
    const std::string name = nameInside(file, folder);
    if (name.empty())
        return false;
    struct stat st {};
    if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT; // the pedal makes it before it announces; said when the timer cannot be set
    return S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
}

std::optional<SerialPortDriver::Bridge> readAnnouncement(int dir, const std::string &folder, const std::string &name)
{
    const std::optional<std::string> text = readOwnFile(dir, name);
    if (!text)
        return std::nullopt;
    std::map<std::string, std::string> values;
    std::size_t start = 0;
    while (start < text->size()) {
        std::size_t end = text->find('\n', start);
        if (end == std::string::npos)
            end = text->size();
        std::string line = text->substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos)
            values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    for (const char *key : {"serial", "description", "path", "pid"})
        if (!values.count(key))
            return std::nullopt;
    if (values["serial"].empty() || values["path"].empty() || !running(values["pid"]))
        return std::nullopt;
    struct stat terminal {};
    if (::lstat(values["path"].c_str(), &terminal) != 0 || !privatefiles::isOwnPseudoTerminal(terminal))
        return std::nullopt;
    const std::string &latency = values["latency"];
    if (!latency.empty() && !acceptableLatencyFile(dir, folder, latency))
        return std::nullopt;
    SerialPortDriver::Bridge bridge{values["serial"], values["description"], values["path"], {latency, false, {}}};
    if (!latency.empty())
        bridge.latency.folder = folder;
    bridge.pseudoTerminalOnly = true;
    return bridge;
}

} // namespace

VirtualBridgeDriver::VirtualBridgeDriver(std::string folder)
    : m_folder(std::move(folder))
{
}

std::string VirtualBridgeDriver::defaultFolder()
{
    if (const char *dir = std::getenv("THARNVIK_BRIDGES_DIR"); dir && *dir)
        return dir;
    if (const char *runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::string(runtime) + "/tharnvik-bridges";
    return "/tmp/tharnvik-bridges-" + std::to_string(::getuid());
}

std::vector<std::string> VirtualBridgeDriver::takeListingNotes()
{
    return std::exchange(m_notes, {});
}

std::vector<SerialPortDriver::Bridge> VirtualBridgeDriver::enumerate() const
{
    std::string problem;
    const int dir = privatefiles::openFolder(m_folder, problem);
    if (dir < 0) {
        if (!problem.empty()) {
            std::string note = "Virtual bridges in " + m_folder + " are ignored: " + problem + ". Remove that folder "
                "(a virtual pedal makes it anew) or set THARNVIK_BRIDGES_DIR to a folder of your own with mode 0700.";
            if (m_said.insert(note).second)
                m_notes.push_back(std::move(note));
        }
        return {};
    }

    std::vector<std::string> names;
    // The listing gets a descriptor of its own: closedir closes it.
    const int copy = ::fcntl(dir, F_DUPFD_CLOEXEC, 0);
    DIR *entries = copy >= 0 ? ::fdopendir(copy) : nullptr;
    if (!entries && copy >= 0)
        ::close(copy);
    if (entries) {
        while (const dirent *entry = ::readdir(entries)) {
            const std::string name = entry->d_name;
            if (name.size() > kSuffix.size() &&
                name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) == 0)
                names.push_back(name);
        }
        ::closedir(entries);
    }
    std::sort(names.begin(), names.end());

    std::vector<Bridge> bridges;
    for (const std::string &name : names)
        if (auto bridge = readAnnouncement(dir, m_folder, name))
            bridges.push_back(std::move(*bridge));
    ::close(dir);
    return bridges;
}
