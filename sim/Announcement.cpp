#include "Announcement.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sim {

namespace {

constexpr off_t kLargestFile = 64 * 1024;

std::string withoutTrailingSlash(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

// A small regular file's text, read without following a link or waiting
// on a FIFO; empty when it is anything else.
std::string readRegularFile(int dir, const std::string &name)
{
    struct stat seen {};
    if (::fstatat(dir, name.c_str(), &seen, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(seen.st_mode) ||
        seen.st_size > kLargestFile)
        return {};
    const int fd = ::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return {};
    std::string text;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        char buffer[4096];
        ssize_t n = 0;
        while (text.size() <= static_cast<std::size_t>(kLargestFile) && (n = ::read(fd, buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

long announcedPid(int dir, const std::string &name)
{
    const std::string text = readRegularFile(dir, name);
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        if (text.compare(at, 4, "pid=") == 0)
            return std::strtol(text.substr(at + 4, end - at - 4).c_str(), nullptr, 10);
        at = end + 1;
    }
    return 0;
}

bool running(long pid)
{
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

// Why the folder cannot hold announcements, or empty.
std::string folderProblem(const struct stat &st)
{
    if (S_ISLNK(st.st_mode))
        return "it is a symbolic link";
    if (!S_ISDIR(st.st_mode))
        return "it is not a folder";
    if (st.st_uid != ::geteuid())
        return "it belongs to another user (uid " + std::to_string(st.st_uid) + ")";
    if ((st.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        return std::string("other users have access to it (mode ") + mode + ", not 0700)";
    }
    return {};
}

// The folder, made when missing and opened when it is the user's private
// one: its descriptor, or -1 with `error` set.
int openFolder(const std::string &folder, std::string &error)
{
    for (std::size_t at = 1; at <= folder.size(); ++at) {
        if (at != folder.size() && folder[at] != '/')
            continue;
        const std::string part = folder.substr(0, at);
        const mode_t mode = at == folder.size() ? 0700 : 0755;
        if (::mkdir(part.c_str(), mode) != 0 && errno != EEXIST) {
            error = "cannot create " + part + ": " + std::strerror(errno);
            return -1;
        }
    }
    auto refuse = [&](const std::string &why) {
        error = folder + " cannot hold the announcement: " + why + ". Remove that folder (it is made anew) or set "
            "THARNVIK_BRIDGES_DIR to a folder of your own with mode 0700.";
        return -1;
    };
    struct stat seen {};
    if (::lstat(folder.c_str(), &seen) != 0)
        return refuse(std::string("it cannot be read (") + std::strerror(errno) + ")");
    if (const std::string why = folderProblem(seen); !why.empty())
        return refuse(why);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return refuse(std::string("it cannot be opened (") + std::strerror(errno) + ")");
    struct stat opened {};
    std::string why;
    if (::fstat(fd, &opened) != 0 || opened.st_dev != seen.st_dev || opened.st_ino != seen.st_ino)
        why = "it was replaced while being opened";
    else
        why = folderProblem(opened);
    if (!why.empty()) {
        ::close(fd);
        return refuse(why);
    }
    return fd;
}

// Writes `text` into a file of our own, new, under a temporary name, and
// renames it to `name`: the file's identity, or false with `error` set.
bool placeNewFile(int dir, const std::string &folder, const std::string &name, const std::string &text, long pid,
                  struct stat &made, std::string &error)
{
    const std::string temp = name + ".tmp." + std::to_string(pid);
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC;
    int fd = ::openat(dir, temp.c_str(), flags, 0600);
    if (fd < 0 && errno == EEXIST) {
        // Left by an earlier process of this number that did not end well.
        ::unlinkat(dir, temp.c_str(), 0);
        fd = ::openat(dir, temp.c_str(), flags, 0600);
    }
    if (fd < 0) {
        error = "cannot create " + folder + "/" + temp + ": " + std::strerror(errno);
        return false;
    }
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
        ::fstat(fd, &made) == 0;
    const int writeError = errno;
    if (::close(fd) != 0 || !written) {
        error = "cannot write " + folder + "/" + temp + ": " + std::strerror(written ? errno : writeError);
        ::unlinkat(dir, temp.c_str(), 0);
        return false;
    }
    if (::renameat(dir, temp.c_str(), dir, name.c_str()) != 0) {
        error = "cannot rename " + folder + "/" + temp + ": " + std::strerror(errno);
        ::unlinkat(dir, temp.c_str(), 0);
        return false;
    }
    return true;
}

// Removes `path` while it is still the file of that identity.
void removeIfSame(const std::string &path, dev_t device, ino_t inode)
{
    struct stat st {};
    if (!path.empty() && ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == device &&
        st.st_ino == inode)
        ::unlink(path.c_str());
}

} // namespace

std::string latencyFileFor(const std::string &folder, const std::string &serial)
{
    return withoutTrailingSlash(folder) + "/" + serial + ".latency";
}

int readLatencyFile(const std::string &file, int fallback)
{
    const std::string text = readRegularFile(AT_FDCWD, file);
    char *end = nullptr;
    const long ms = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || ms < 1 || ms > 255)
        return fallback;
    return static_cast<int>(ms);
}

std::string bridgesFolder()
{
    if (const char *dir = std::getenv("THARNVIK_BRIDGES_DIR"); dir && *dir)
        return dir;
    if (const char *runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::string(runtime) + "/tharnvik-bridges";
    return "/tmp/tharnvik-bridges-" + std::to_string(::getuid());
}

Announced announce(const std::string &folderGiven, const Announcement &a, std::string &error)
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
    const std::string folder = withoutTrailingSlash(folderGiven);
    const int dir = openFolder(folder, error);
    if (dir < 0)
        return {};
    const std::string name = a.serial + ".bridge";
    if (const long other = announcedPid(dir, name); other != a.pid && running(other)) {
        error = "serial " + a.serial + " is already announced by process " + std::to_string(other);
        ::close(dir);
        return {};
    }

    Announced made;
    struct stat st {};
    const std::string latencyName = a.serial + ".latency";
    if (!placeNewFile(dir, folder, latencyName, "16\n", a.pid, st, error)) {
        ::close(dir);
        return {};
    }
    made.latency = latencyFileFor(folder, a.serial);
    made.latencyDevice = st.st_dev;
    made.latencyInode = st.st_ino;

    const std::string text = "serial=" + a.serial + "\n" + "description=" + a.description + "\n" + "path=" + a.path +
        "\n" + "pid=" + std::to_string(a.pid) + "\n" + "latency=" + made.latency + "\n";
    if (!placeNewFile(dir, folder, name, text, a.pid, st, error)) {
        ::close(dir);
        withdraw(made);
        return {};
    }
    ::close(dir);
    made.file = folder + "/" + name;
    made.fileDevice = st.st_dev;
    made.fileInode = st.st_ino;
    return made;
}

void withdraw(const Announced &announced)
{
    removeIfSame(announced.latency, announced.latencyDevice, announced.latencyInode);
    removeIfSame(announced.file, announced.fileDevice, announced.fileInode);
}

} // namespace sim
