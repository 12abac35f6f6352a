#include "PrivateFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace privatefiles {

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

std::string withoutTrailingSlash(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

int openFolder(const std::string &folder, std::string &problem)
{
    problem.clear();
    const std::string path = withoutTrailingSlash(folder);
    struct stat seen {};
    if (::lstat(path.c_str(), &seen) != 0) {
        if (errno != ENOENT)
            problem = std::string("it cannot be read (") + std::strerror(errno) + ")";
        return -1;
    }
    if (problem = folderProblem(seen); !problem.empty())
        return -1;
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        problem = std::string("it cannot be opened (") + std::strerror(errno) + ")";
        return -1;
    }
    // What was opened is what was looked at, and still private.
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || opened.st_dev != seen.st_dev || opened.st_ino != seen.st_ino) {
        ::close(fd);
        problem = "it was replaced while being opened";
        return -1;
    }
    if (problem = folderProblem(opened); !problem.empty()) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int openOwnFile(int dir, const std::string &name, int flags)
{
    if (dir < 0 || name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
        return -1;
    // Looked at before it is opened, so that nothing but a regular file is
    // ever opened (opening a device may do something by itself).
    struct stat seen {};
    if (::fstatat(dir, name.c_str(), &seen, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(seen.st_mode) ||
        seen.st_uid != ::geteuid())
        return -1;
    const int fd = ::openat(dir, name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_uid != ::geteuid() ||
        opened.st_dev != seen.st_dev || opened.st_ino != seen.st_ino) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool isOwnPseudoTerminal(const struct stat &st)
{
    return S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143 && st.st_uid == ::geteuid();
}

} // namespace privatefiles
