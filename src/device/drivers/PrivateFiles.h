#pragma once

#include <string>
#include <sys/stat.h>

// What a virtual bridge may be trusted with: a folder and files of the user's
// own, never reached through a symbolic link, and a pseudo-terminal. "The
// user" is the effective user of this process.
namespace privatefiles {

// Why a folder (as lstat or fstat describes it) cannot be trusted as the
// user's private folder, or empty when it can: a real folder, the user's,
// with no permission for the group or others.
std::string folderProblem(const struct stat &st);

// The folder without trailing slashes (a trailing slash would make the
// system follow a link named by the last component).
std::string withoutTrailingSlash(std::string folder);

// Opens the folder when it is the user's private folder and not a link:
// the descriptor (O_DIRECTORY, close-on-exec), or -1 with `problem` telling
// why. A folder that does not exist leaves `problem` empty.
int openFolder(const std::string &folder, std::string &problem);

// Opens `name` (one name, no slash) inside the folder `dir` with `flags`
// (O_RDONLY or O_WRONLY), without following a link and without waiting (a
// FIFO opens at once), when it is a regular file of the user's: the
// descriptor, or -1.
int openOwnFile(int dir, const std::string &name, int flags);

// The slave side of a Unix98 pseudo-terminal (majors 136 to 143) that
// belongs to the user.
bool isOwnPseudoTerminal(const struct stat &st);

} // namespace privatefiles
