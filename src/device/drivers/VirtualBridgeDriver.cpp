#include "VirtualBridgeDriver.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <signal.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSuffix = ".bridge";
constexpr std::uintmax_t kLargestFile = 64 * 1024;

bool running(const std::string &pidText)
{
    if (pidText.empty() || pidText.size() > 9 ||
        !std::all_of(pidText.begin(), pidText.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const long pid = std::strtol(pidText.c_str(), nullptr, 10);
    // EPERM: running, as somebody else.
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

std::optional<SerialPortDriver::Bridge> readAnnouncement(const fs::path &file)
{
    std::error_code ec;
    if (!fs::is_regular_file(file, ec) || fs::file_size(file, ec) > kLargestFile || ec)
        return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::map<std::string, std::string> values;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos)
            values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    for (const char *key : {"serial", "description", "path", "pid"})
        if (!values.count(key))
            return std::nullopt;
    if (values["serial"].empty() || values["path"].empty() || !running(values["pid"]) ||
        !fs::exists(values["path"], ec))
        return std::nullopt;
    return SerialPortDriver::Bridge{values["serial"], values["description"], values["path"], {values["latency"], false}};
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

std::vector<SerialPortDriver::Bridge> VirtualBridgeDriver::enumerate() const
{
    std::vector<fs::path> files;
    std::error_code ec;
    for (const fs::directory_entry &entry : fs::directory_iterator(m_folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > kSuffix.size() && name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) == 0)
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end(),
              [](const fs::path &a, const fs::path &b) { return a.filename().string() < b.filename().string(); });

    std::vector<Bridge> bridges;
    for (const fs::path &file : files)
        if (auto bridge = readAnnouncement(file))
            bridges.push_back(std::move(*bridge));
    return bridges;
}
