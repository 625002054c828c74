// The exchange of a database file for its restored copy through a link and one rename.
#include "platform/posix/PosixFiles.h"
#include "platform/posix/PosixMaintenance.h"
#include "ports/Errors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltor::posix {
namespace {

// The live database as the exchange needs it: a regular file under its own name, not a link
// that somebody with the folder put there.
struct stat LiveFileInfo(const std::string& live) {
    struct stat info {};
    if (::lstat(live.c_str(), &info) != 0) RaiseErrno(errno);
    if (S_ISLNK(info.st_mode)) throw OsError("Is a symbolic link", ELOOP);
    if (!S_ISREG(info.st_mode)) throw OsError("Not a regular file", EINVAL);
    return info;
}

// Writes the folder of `path` out, so that a rename in it survives a crash; best effort.
void SyncFolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

void PosixDatabaseFiles::MatchAccess(const std::string& live, const std::string& restored) {
    const struct stat info = LiveFileInfo(live);
    // The restored file lies in a folder of the server's user, who could put a link to any
    // file of the system (or a second name of one) under its name before the owner changes:
    // the change goes through the descriptor of a regular file with one name.
    Descriptor file = OpenRegularFile(restored, O_RDONLY, {.singleName = true});
    if (::fchown(file.get(), info.st_uid, info.st_gid) != 0) RaiseErrno(errno);
    // Permission bits only: a set-user or set-group bit has no place on a database file.
    if (::fchmod(file.get(), info.st_mode & 0777) != 0) RaiseErrno(errno);
}

void PosixDatabaseFiles::SwapInRestored(const std::string& live, const std::string& restored, const std::string& kept) {
    const struct stat liveInfo = LiveFileInfo(live);
    struct stat info {};
    // A kept name that is already a link of the live file was left by an exchange cut short
    // after its first step: that step is done.
    const bool keptIsLive = ::lstat(kept.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
                            info.st_dev == liveInfo.st_dev && info.st_ino == liveInfo.st_ino;
    if (!keptIsLive && ::lstat(kept.c_str(), &info) == 0) RaiseErrno(EEXIST);
    if (::lstat(restored.c_str(), &info) != 0) RaiseErrno(errno);
    if (S_ISLNK(info.st_mode)) throw OsError("Is a symbolic link", ELOOP);
    if (!S_ISREG(info.st_mode)) throw OsError("Not a regular file", EINVAL);
    if (!keptIsLive && ::link(live.c_str(), kept.c_str()) != 0) RaiseErrno(errno);
    if (betweenSteps) betweenSteps();
    if (::rename(restored.c_str(), live.c_str()) != 0) {
        const int code = errno;
        if (!keptIsLive) ::unlink(kept.c_str());
        RaiseErrno(code);
    }
    SyncFolderOf(live);
}

} // namespace veltor::posix
