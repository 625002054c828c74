#include "platform/posix/PosixCheckedCopier.h"

#include "platform/CopyCheck.h"
#include "platform/posix/PosixFiles.h"
#include "ports/Errors.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace veltor::posix {
namespace {

std::string WithoutFinalSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// The system's reason behind what the copy was doing.
[[noreturn]] void RaiseCopyError(const std::string& doing, int code) {
    throw OsError(doing + ": " + std::strerror(code), static_cast<std::uint32_t>(code));
}

// The parts of a path between its slashes, in order; "." and empty ones left out.
std::deque<std::string> PartsOf(const std::string& path) {
    std::deque<std::string> parts;
    std::size_t begin = 0;
    while (begin <= path.size()) {
        std::size_t end = path.find('/', begin);
        if (end == std::string::npos) end = path.size();
        std::string part = path.substr(begin, end - begin);
        if (!part.empty() && part != ".") parts.push_back(std::move(part));
        begin = end + 1;
    }
    return parts;
}

// Opens the folder one part of its path at a time, following only the symbolic links that root
// or this process's user made: whoever can write a folder on the way could otherwise turn a
// link of theirs anywhere. Each link is judged and read through a descriptor of the link
// itself, so it cannot be swapped between the two; the parts of its target are walked the
// same way.
Descriptor OpenFolderRefusingLinksOfOthers(const std::string& folder) {
    const std::string cannotUse = "no se puede usar la carpeta " + folder;
    const uid_t self = ::geteuid();
    std::deque<std::string> parts = PartsOf(folder);
    Descriptor current(::open(folder.starts_with('/') ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (current.get() < 0) RaiseCopyError(cannotUse, errno);
    int links = 0;
    while (!parts.empty()) {
        const std::string part = std::move(parts.front());
        parts.pop_front();
        Descriptor next(::openat(current.get(), part.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (next.get() < 0) RaiseCopyError(cannotUse, errno);
        struct stat info {};
        if (::fstat(next.get(), &info) != 0) RaiseCopyError(cannotUse, errno);
        if (S_ISDIR(info.st_mode)) {
            current = std::move(next);
            continue;
        }
        if (!S_ISLNK(info.st_mode)) RaiseCopyError(cannotUse, ENOTDIR);
        if (info.st_uid != 0 && info.st_uid != self)
            throw OsError("la carpeta " + folder + " es un enlace de otro usuario", EPERM);
        if (++links > 40) RaiseCopyError(cannotUse, ELOOP);
        std::string target(PATH_MAX, '\0');
        const ssize_t size = ::readlinkat(next.get(), "", target.data(), target.size());
        if (size < 0) RaiseCopyError(cannotUse, errno);
        target.resize(static_cast<std::size_t>(size));
        std::deque<std::string> targetParts = PartsOf(target);
        parts.insert(parts.begin(), targetParts.begin(), targetParts.end());
        if (target.starts_with('/')) {
            current = Descriptor(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
            if (current.get() < 0) RaiseCopyError(cannotUse, errno);
        }
    }
    // A descriptor that can be synced, of the folder reached.
    Descriptor opened(::openat(current.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (opened.get() < 0) RaiseCopyError(cannotUse, errno);
    return opened;
}

using Deadline = CopyDeadline;
using Summary = CopySummary;

// Reads up to `size` bytes, going on after interruptions; 0 at the end.
std::size_t ReadSome(int fd, char* buffer, std::size_t size, const std::string& doing) {
    for (;;) {
        const ssize_t n = ::read(fd, buffer, size);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) RaiseCopyError(doing, errno);
    }
}

// The temporary file of the copy, removed again unless the copy took its final name.
class TemporaryName {
public:
    TemporaryName(int folder, std::string name) : folder_(folder), name_(std::move(name)) {}
    ~TemporaryName() {
        if (!kept_) ::unlinkat(folder_, name_.c_str(), 0);
    }
    TemporaryName(const TemporaryName&) = delete;
    TemporaryName& operator=(const TemporaryName&) = delete;
    const char* c_str() const { return name_.c_str(); }
    void Keep() { kept_ = true; }

private:
    int folder_;
    std::string name_;
    bool kept_ = false;
};

// Gives the checked copy its final name only where none exists yet. A file system without
// renameat2's flag (network ones) gets a second name and loses the first, which fails on an
// existing name too; one without second names either (a share without Unix extensions) is
// asked whether the name is free and then renamed: another writer of the share could slip a
// file in between, which the share's own rename would then replace.
void GiveFinalName(int folder, const std::string& temporaryName, const std::string& name,
                   const std::string& folderName) {
    const auto raise = [&](int code) {
        if (code == EEXIST) throw OsError("ya hay un archivo " + name + " en " + folderName, EEXIST);
        RaiseCopyError("no se puede dar el nombre " + name + " a la copia", code);
    };
    if (::renameat2(folder, temporaryName.c_str(), folder, name.c_str(), RENAME_NOREPLACE) == 0) return;
    if (errno != EINVAL && errno != ENOSYS) raise(errno);
    if (::linkat(folder, temporaryName.c_str(), folder, name.c_str(), 0) == 0) {
        ::unlinkat(folder, temporaryName.c_str(), 0);
        return;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) raise(errno);
    struct stat info {};
    if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) raise(EEXIST);
    if (errno != ENOENT) raise(errno);
    if (::renameat(folder, temporaryName.c_str(), folder, name.c_str()) != 0) raise(errno);
}

} // namespace

void PosixCheckedCopier::CopyChecked(const std::string& source, const std::string& folderPath, const std::string& name,
                                     std::uint32_t limitSeconds) {
    const Deadline deadline(limitSeconds);
    if (folderPath.empty()) throw std::runtime_error("no se indicó la carpeta de la copia");
    // A name of the folder itself, never one that leads out of it.
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
        throw std::runtime_error("el nombre de la copia no es válido: " + name);
    const std::string folderName = WithoutFinalSlash(folderPath);
    const std::string noSpace = "no hay espacio en " + folderName;
    const Descriptor folder = OpenFolderRefusingLinksOfOthers(folderName);

    Descriptor in(-1);
    try {
        in = OpenRegularFile(source, O_RDONLY, {});
    } catch (const OsError& e) {
        throw OsError("no se puede leer el Backup " + source + ": " + e.what(), e.code());
    }
    ::posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    // A temporary file left by a copy cut short before: its name only, never what it points to.
    const std::string temporaryName = name + kCopyTemporarySuffix;
    if (::unlinkat(folder.get(), temporaryName.c_str(), 0) != 0 && errno != ENOENT)
        RaiseCopyError("no se puede quitar " + folderName + "/" + temporaryName, errno);
    Descriptor out(
        ::openat(folder.get(), temporaryName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0640));
    if (out.get() < 0) {
        if (errno == ENOSPC || errno == EDQUOT) throw OsError(noSpace, static_cast<std::uint32_t>(errno));
        RaiseCopyError("no se puede crear " + folderName + "/" + temporaryName, errno);
    }
    TemporaryName temporary(folder.get(), temporaryName);
    const auto raiseWriteError = [&](int code) {
        if (code == ENOSPC || code == EDQUOT) throw OsError(noSpace, static_cast<std::uint32_t>(code));
        RaiseCopyError("no se puede escribir la copia en " + folderName, code);
    };

    std::vector<char> buffer(blockSize_);
    Summary read;
    for (bool first = true;; first = false) {
        if (!first) deadline.Check();
        const std::size_t n = ReadSome(in.get(), buffer.data(), buffer.size(), "no se puede leer el Backup " + source);
        if (n == 0) break;
        read.Add(buffer.data(), n);
        for (std::size_t done = 0; done < n;) {
            const ssize_t w = ::write(out.get(), buffer.data() + done, n - done);
            if (w < 0) {
                if (errno == EINTR) continue;
                raiseWriteError(errno);
            }
            done += static_cast<std::size_t>(w);
        }
    }
    in.Close();
    if (::fsync(out.get()) != 0) raiseWriteError(errno);
    // Out of the page cache, so that what is read back is what the disk holds.
    ::posix_fadvise(out.get(), 0, 0, POSIX_FADV_DONTNEED);
    if (const int error = out.Close(); error != 0) raiseWriteError(error);

    const Descriptor back(::openat(folder.get(), temporaryName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (back.get() < 0) RaiseCopyError("no se puede leer la copia en " + folderName, errno);
    ::posix_fadvise(back.get(), 0, 0, POSIX_FADV_DONTNEED);
    Summary written;
    for (;;) {
        deadline.Check();
        const std::size_t n =
            ReadSome(back.get(), buffer.data(), buffer.size(), "no se puede leer la copia en " + folderName);
        if (n == 0) break;
        written.Add(buffer.data(), n);
    }
    if (!(written == read)) throw std::runtime_error("la copia no coincide con el Backup");

    GiveFinalName(folder.get(), temporaryName, name, folderName);
    temporary.Keep();
    ::fsync(folder.get());
}

} // namespace veltor::posix
