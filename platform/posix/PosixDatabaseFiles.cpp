// The files beside a company database on Linux: links, one rename, the room of a volume.
#include "platform/posix/PosixFiles.h"
#include "platform/posix/PosixMaintenance.h"
#include "platform/posix/PosixPlatform.h"
#include "ports/Errors.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace veltor::posix {
namespace {

// The live database as the exchange needs it: a regular file under its own name, not a link
// that somebody with the folder put there.
struct stat LiveFileInfo(const std::string& live) {
    struct stat info {};
    if (::lstat(live.c_str(), &info) != 0) RaiseErrno(errno);
    if (S_ISLNK(info.st_mode)) throw OsError(kIsSymbolicLink, ELOOP);
    if (!S_ISREG(info.st_mode)) throw OsError(kNotRegularFile, EINVAL);
    return info;
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

void PosixDatabaseFiles::LinkFile(const std::string& existing, const std::string& link) {
    // Only the live database itself gets a second name, never a link planted under its name.
    LiveFileInfo(existing);
    if (::link(existing.c_str(), link.c_str()) != 0) RaiseErrno(errno);
}

void PosixDatabaseFiles::RenameOver(const std::string& from, const std::string& to) {
    // The restored file lies in a folder of the server's user: only a regular file of its own
    // takes the live name, never a link planted under the restored name.
    struct stat info {};
    if (::lstat(from.c_str(), &info) != 0) RaiseErrno(errno);
    if (S_ISLNK(info.st_mode)) throw OsError(kIsSymbolicLink, ELOOP);
    if (!S_ISREG(info.st_mode)) throw OsError(kNotRegularFile, EINVAL);
    if (::rename(from.c_str(), to.c_str()) != 0) RaiseErrno(errno);
    SyncFolderOf(to);
}

bool PosixDatabaseFiles::RemoveFile(const std::string& path) {
    if (::unlink(path.c_str()) == 0) return true;
    if (errno == ENOENT) return false;
    RaiseErrno(errno);
}

NameHolds PosixDatabaseFiles::WhatIsAt(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return NameHolds::Nothing;
        RaiseErrno(errno);
    }
    if (S_ISLNK(info.st_mode)) return NameHolds::Link;
    return S_ISREG(info.st_mode) ? NameHolds::RegularFile : NameHolds::Other;
}

bool PosixDatabaseFiles::SameFile(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    return ::lstat(a.c_str(), &first) == 0 && ::lstat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

std::uint64_t PosixDatabaseFiles::FileSize(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) RaiseErrno(errno);
    return static_cast<std::uint64_t>(info.st_size);
}

LocalDateTime PosixDatabaseFiles::LastWritten(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) RaiseErrno(errno);
    return LocalDateTimeOf(info.st_mtime);
}

VolumeRoom PosixDatabaseFiles::RoomIn(const std::string& folder) {
    struct statvfs volume {};
    if (::statvfs(folder.c_str(), &volume) != 0) RaiseErrno(errno);
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) RaiseErrno(errno);
    // Blocks an ordinary user may still take: the server's user writes the restored file.
    return {static_cast<std::uint64_t>(volume.f_bavail) * volume.f_frsize, static_cast<std::uint64_t>(info.st_dev)};
}

std::vector<std::string> PosixDatabaseFiles::FileNamesIn(const std::string& folder) {
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
    if (!dir) RaiseErrno(errno);
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    if (errno != 0) RaiseErrno(errno);
    return names;
}

} // namespace veltor::posix
