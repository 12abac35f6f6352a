#include "Announcement.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sim {

namespace {

std::string announced(const std::string &file, const std::string &key)
{
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key + "=", 0) == 0)
            return line.substr(key.size() + 1);
    return {};
}

long announcedPid(const std::string &file)
{
    return std::strtol(announced(file, "pid").c_str(), nullptr, 10);
}

bool running(long pid)
{
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

bool makeFolder(const std::string &folder, std::string &error)
{
    // Create missing parents too; only the last component gets 0700 on purpose,
    // parents get the usual 0755 minus umask.
    for (std::size_t at = 1; at <= folder.size(); ++at) {
        if (at != folder.size() && folder[at] != '/')
            continue;
        const std::string part = folder.substr(0, at);
        const mode_t mode = at == folder.size() ? 0700 : 0755;
        if (::mkdir(part.c_str(), mode) != 0 && errno != EEXIST) {
            error = "cannot create " + part + ": " + std::strerror(errno);
            return false;
        }
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = folder + " is not a folder";
        return false;
    }
    return true;
}

} // namespace

std::string latencyFileFor(const std::string &folder, const std::string &serial)
{
    return folder + "/" + serial + ".latency";
}

int readLatencyFile(const std::string &file, int fallback)
{
    std::ifstream in(file);
    int ms = 0;
    if (!(in >> ms) || ms < 1 || ms > 255)
        return fallback;
    return ms;
}

std::string bridgesFolder()
{
    if (const char *dir = std::getenv("THARNVIK_BRIDGES_DIR"); dir && *dir)
        return dir;
    if (const char *runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::string(runtime) + "/tharnvik-bridges";
    return "/tmp/tharnvik-bridges-" + std::to_string(::getuid());
}

std::string announce(const std::string &folder, const Announcement &a, std::string &error)
{
    if (a.serial.empty() || a.serial.find('/') != std::string::npos || a.serial[0] == '.' ||
        a.serial.find('\n') != std::string::npos) {
        error = "serial \"" + a.serial + "\" cannot name a file";
        return {};
    }
    if (a.description.find('\n') != std::string::npos) {
        error = "the description must be one line";
        return {};
    }
    if (!makeFolder(folder, error))
        return {};
    const std::string file = folder + "/" + a.serial + ".bridge";
    if (const long other = announcedPid(file); other != a.pid && running(other)) {
        error = "serial " + a.serial + " is already announced by process " + std::to_string(other);
        return {};
    }
    if (!a.latency.empty()) {
        std::ofstream latency(a.latency, std::ios::binary | std::ios::trunc);
        latency << "16\n";
        latency.close();
        if (!latency) {
            error = "cannot write " + a.latency;
            return {};
        }
    }
    const std::string temp = file + ".tmp." + std::to_string(a.pid);
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << "serial=" << a.serial << "\n"
            << "description=" << a.description << "\n"
            << "path=" << a.path << "\n"
            << "pid=" << a.pid << "\n";
        if (!a.latency.empty())
            out << "latency=" << a.latency << "\n";
        out.close();
        if (!out) {
            error = "cannot write " + temp;
            std::remove(temp.c_str());
            return {};
        }
    }
    if (std::rename(temp.c_str(), file.c_str()) != 0) {
        error = "cannot rename " + temp + ": " + std::strerror(errno);
        std::remove(temp.c_str());
        return {};
    }
    return file;
}

void withdraw(const std::string &file)
{
    if (file.empty() || announcedPid(file) != static_cast<long>(::getpid()))
        return;
    if (const std::string latency = announced(file, "latency"); !latency.empty())
        std::remove(latency.c_str());
    std::remove(file.c_str());
}

} // namespace sim
