#include "platform/posix/PosixFiles.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace veltor::posix {

Descriptor OpenRegularFile(const std::string& path, int flags, OpenRules rules) {
    // Non-blocking, so that a pipe planted under the name cannot hold the open; a regular file
    // ignores the flag, which is taken off again below.
    const int extra = O_CLOEXEC | O_NONBLOCK | (rules.followLinks ? 0 : O_NOFOLLOW);
    Descriptor fd(::open(path.c_str(), flags | extra, rules.createMode));
    if (fd.get() < 0) {
        if (errno == ELOOP && !rules.followLinks) throw OsError(kIsSymbolicLink, ELOOP);
        RaiseErrno(errno);
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) RaiseErrno(errno);
    if (!S_ISREG(info.st_mode)) throw OsError(kNotRegularFile, EINVAL);
    if (rules.singleName && info.st_nlink > 1) throw OsError(kHasSecondName, EMLINK);
    const int status = ::fcntl(fd.get(), F_GETFL);
    if (status < 0 || ::fcntl(fd.get(), F_SETFL, status & ~O_NONBLOCK) != 0) RaiseErrno(errno);
    return fd;
}

void SyncFolderOf(const std::string& path) noexcept {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace veltor::posix
