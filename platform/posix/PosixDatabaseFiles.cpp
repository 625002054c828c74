// The exchange of a database file for its restored copy through a link and one rename.
#include "platform/posix/PosixMaintenance.h"
#include "ports/Errors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltor::posix {
namespace {

[[noreturn]] void RaiseErrno(int code) {
    throw OsError(std::strerror(code), static_cast<std::uint32_t>(code));
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
    struct stat info {};
    if (::stat(live.c_str(), &info) != 0) RaiseErrno(errno);
    if (::chown(restored.c_str(), info.st_uid, info.st_gid) != 0) RaiseErrno(errno);
    if (::chmod(restored.c_str(), info.st_mode & 07777) != 0) RaiseErrno(errno);
}

void PosixDatabaseFiles::SwapInRestored(const std::string& live, const std::string& restored, const std::string& kept) {
    struct stat info {};
    struct stat liveInfo {};
    // A kept name that is already a link of the live file was left by an exchange cut short
    // after its first step: that step is done.
    const bool keptIsLive = ::lstat(kept.c_str(), &info) == 0 && ::stat(live.c_str(), &liveInfo) == 0 &&
                            info.st_dev == liveInfo.st_dev && info.st_ino == liveInfo.st_ino;
    if (!keptIsLive && ::lstat(kept.c_str(), &info) == 0) RaiseErrno(EEXIST);
    if (::lstat(restored.c_str(), &info) != 0) RaiseErrno(errno);
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
