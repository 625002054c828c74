// Files and folders through the POSIX calls.
#include "platform/posix/PosixFiles.h"
#include "platform/posix/PosixPlatform.h"
#include "ports/Errors.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace veltor::posix {
namespace {

// Writes every byte, going on after interruptions and short writes; returns 0 or the errno.
int WriteAll(int fd, const char* bytes, std::size_t size, std::size_t& written) {
    written = 0;
    while (written < size) {
        const ssize_t n = ::write(fd, bytes + written, size - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        written += static_cast<std::size_t>(n);
    }
    return 0;
}

class PosixInputFile final : public IInputFile {
public:
    explicit PosixInputFile(Descriptor fd) : fd_(std::move(fd)) {}

    std::size_t Read(char* buffer, std::size_t size) override {
        for (;;) {
            const ssize_t n = ::read(fd_.get(), buffer, size);
            if (n >= 0) return static_cast<std::size_t>(n);
            if (errno != EINTR) RaiseErrno(errno);
        }
    }

private:
    Descriptor fd_;
};

class PosixAppendFile final : public IAppendFile {
public:
    explicit PosixAppendFile(Descriptor fd) : fd_(std::move(fd)) {}
    ~PosixAppendFile() override {
        try {
            Close();
        } catch (...) {
        }
    }

    void Write(std::string_view bytes) override {
        if (fd_.get() < 0) RaiseErrno(EBADF);
        // Written through at once: a process killed in the middle of a run leaves every line it
        // wrote in the month log, up to the step where it ended.
        buffer_.append(bytes);
        Flush();
    }

    void Close() override {
        if (fd_.get() < 0) return;
        int error = 0;
        try {
            Flush();
        } catch (const OsError& e) {
            error = static_cast<int>(e.code());
        }
        buffer_.clear();
        // Closing the descriptor releases the lock as well.
        const int closeError = fd_.Close();
        if (error == 0) error = closeError;
        if (error != 0) RaiseErrno(error);
    }

private:
    // What could not be written stays buffered, so a later Close tries it once more.
    void Flush() {
        std::size_t written = 0;
        const int error = WriteAll(fd_.get(), buffer_.data(), buffer_.size(), written);
        buffer_.erase(0, written);
        if (error != 0) RaiseErrno(error);
    }

    Descriptor fd_;
    std::string buffer_;
};

bool StatOf(const std::string& path, struct stat& info) {
    return ::stat(path.c_str(), &info) == 0;
}

} // namespace

bool PosixFileSystem::FileExists(const std::string& path) const {
    struct stat info {};
    return StatOf(path, info) && !S_ISDIR(info.st_mode);
}

bool PosixFileSystem::DirectoryExists(const std::string& path) const {
    struct stat info {};
    return StatOf(path, info) && S_ISDIR(info.st_mode);
}

void PosixFileSystem::CreateDirectory(const std::string& path) {
    const struct group* group = serverGroup_.empty() ? nullptr : ::getgrnam(serverGroup_.c_str());
    if (!group) {
        if (::mkdir(path.c_str(), 0777) != 0) RaiseErrno(errno);
        return;
    }
    // Made for this process alone, then opened without following a link (somebody who can
    // write the parent could have put one in its place) and handed to the server's group
    // through the descriptor.
    if (::mkdir(path.c_str(), 0700) != 0) RaiseErrno(errno);
    std::string name = path;
    while (name.size() > 1 && name.back() == '/')
        name.pop_back();
    Descriptor folder(::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (folder.get() < 0) RaiseErrno(errno);
    struct stat info {};
    if (::fstat(folder.get(), &info) != 0) RaiseErrno(errno);
    if (info.st_uid != ::geteuid()) RaiseErrno(EPERM);
    if (::fchown(folder.get(), static_cast<uid_t>(-1), group->gr_gid) != 0 || ::fchmod(folder.get(), 02770) != 0)
        RaiseErrno(errno);
}

bool PosixFileSystem::RemoveFile(const std::string& path) {
    if (::unlink(path.c_str()) == 0) return true;
    if (errno == ENOENT) return false;
    RaiseErrno(errno);
}

void PosixFileSystem::PublishFile(const std::string& from, const std::string& to, Existing existing) {
    {
        // Whoever wrote it (the database server writes the backups), its content is on the disk
        // before any name says it is whole.
        const Descriptor file = OpenRegularFile(from, O_RDONLY, {});
        if (::fsync(file.get()) != 0) RaiseErrno(errno);
    }
    if (existing == Existing::Replace) {
        if (::rename(from.c_str(), to.c_str()) != 0) RaiseErrno(errno);
    } else if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
        if (errno != EINVAL && errno != ENOSYS) RaiseErrno(errno);
        // A file system without the flag: a second name fails on a name that exists.
        if (::link(from.c_str(), to.c_str()) != 0) RaiseErrno(errno);
        ::unlink(from.c_str());
    }
    SyncFolderOf(to);
}

bool PosixFileSystem::CopyFileNoOverwrite(const std::string& from, const std::string& to) {
    Descriptor source(-1);
    try {
        source = OpenRegularFile(from, O_RDONLY, {.followLinks = true});
    } catch (const OsError&) {
        return false;
    }
    struct stat info {};
    if (::fstat(source.get(), &info) != 0) return false;
    Descriptor target(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, info.st_mode & 0777));
    if (target.get() < 0) return false;
    bool copied = true;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(source.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            copied = n == 0;
            break;
        }
        std::size_t written = 0;
        if (WriteAll(target.get(), buffer, static_cast<std::size_t>(n), written) != 0) {
            copied = false;
            break;
        }
    }
    if (target.Close() != 0) copied = false;
    // A half-written copy would pass for the real file later on.
    if (!copied) ::unlink(to.c_str());
    return copied;
}

std::unique_ptr<IInputFile> PosixFileSystem::OpenForReading(const std::string& path, Links links) {
    Descriptor fd = OpenRegularFile(path, O_RDONLY, {.followLinks = links == Links::Follow});
    return std::make_unique<PosixInputFile>(std::move(fd));
}

std::unique_ptr<IAppendFile> PosixFileSystem::OpenForAppend(const std::string& path) {
    Descriptor fd = OpenRegularFile(path, O_WRONLY | O_APPEND | O_CREAT, {.singleName = true});
    while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EINTR) RaiseErrno(errno);
    }
    return std::make_unique<PosixAppendFile>(std::move(fd));
}

std::unique_ptr<IAppendFile> PosixFileSystem::CreateNew(const std::string& path) {
    Descriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (fd.get() < 0) RaiseErrno(errno);
    return std::make_unique<PosixAppendFile>(std::move(fd));
}

std::vector<std::string> PosixFileSystem::ListFiles(const std::string& folder) const {
    Descriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() < 0) RaiseErrno(errno);
    DIR* listing = ::fdopendir(directory.get());
    if (!listing) RaiseErrno(errno);
    // The listing owns the descriptor from here on.
    const int fd = directory.Release();
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(listing)) {
        struct stat info {};
        if (::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode))
            names.emplace_back(entry->d_name);
        errno = 0;
    }
    const int error = errno;
    ::closedir(listing);
    if (error != 0) RaiseErrno(error);
    return names;
}

std::uint64_t PosixFileSystem::FileSize(const std::string& path) const {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) RaiseErrno(errno);
    return static_cast<std::uint64_t>(info.st_size);
}

namespace {

// flock belongs to the open file: another opening of the file, in this process or another,
// cannot take it while this one holds it, and it goes with the descriptor.
class PosixFileLock final : public IFileLock {
public:
    explicit PosixFileLock(Descriptor fd) : fd_(std::move(fd)) {}

private:
    Descriptor fd_;
};

} // namespace

std::unique_ptr<IFileLock> PosixFileSystem::TryLockFile(const std::string& path) {
    Descriptor fd = OpenRegularFile(path, O_RDWR | O_CREAT, {.createMode = 0600});
    while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) return nullptr;
        if (errno != EINTR) RaiseErrno(errno);
    }
    return std::make_unique<PosixFileLock>(std::move(fd));
}

ConfigurationRules LinuxConfigurationRules() {
    ConfigurationRules rules;
    rules.upperCaseValues = false;
    rules.defaultBackupFolder = "/var/lib/veltor/Backups/";
    rules.defaultBackupParent = "/var/lib/veltor/";
    rules.pathSeparator = '/';
    return rules;
}

} // namespace veltor::posix
