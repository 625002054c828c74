#include "platform/posix/PosixCheckedCopier.h"

#include "platform/posix/PosixFiles.h"
#include "ports/Errors.h"

#include <zlib.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace veltor::posix {
namespace {

using Clock = std::chrono::steady_clock;

std::string WithoutFinalSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// The system's reason behind what the copy was doing.
[[noreturn]] void RaiseCopyError(const std::string& doing, int code) {
    throw OsError(doing + ": " + std::strerror(code), static_cast<std::uint32_t>(code));
}

// Refuses a folder reached through a symbolic link that a user other than root or this process's
// own made: whoever can write the folder above could turn it anywhere.
void RefuseLinksOfOthers(const std::string& folder) {
    const uid_t self = ::geteuid();
    std::size_t end = 0;
    while (end != std::string::npos) {
        end = folder.find('/', end + 1);
        const std::string part = folder.substr(0, end);
        if (part.empty() || part == "/") continue;
        struct stat info {};
        if (::lstat(part.c_str(), &info) != 0) RaiseCopyError("no se puede usar la carpeta " + folder, errno);
        if (S_ISLNK(info.st_mode) && info.st_uid != 0 && info.st_uid != self)
            throw OsError("la carpeta " + folder + " es un enlace de otro usuario", EPERM);
    }
}

class Deadline {
public:
    explicit Deadline(std::uint32_t seconds) : seconds_(seconds), end_(Clock::now() + std::chrono::seconds(seconds)) {}
    void Check() const {
        if (Clock::now() >= end_)
            throw std::runtime_error("se superó el tiempo de la copia (" + std::to_string(seconds_) + " s)");
    }

private:
    std::uint32_t seconds_;
    Clock::time_point end_;
};

struct Summary {
    std::uint64_t size = 0;
    uLong crc = crc32(0L, Z_NULL, 0);
    void Add(const char* bytes, std::size_t n) {
        size += n;
        crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes), static_cast<uInt>(n));
    }
    bool operator==(const Summary&) const = default;
};

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

} // namespace

void PosixCheckedCopier::CopyChecked(const std::string& source, const std::string& folderPath, const std::string& name,
                                     std::uint32_t limitSeconds) {
    const Deadline deadline(limitSeconds);
    const std::string folderName = WithoutFinalSlash(folderPath);
    const std::string noSpace = "no hay espacio en " + folderName;
    RefuseLinksOfOthers(folderName);
    const Descriptor folder(::open(folderName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0) RaiseCopyError("no se puede abrir la carpeta " + folderName, errno);

    Descriptor in = OpenRegularFile(source, O_RDONLY, {});
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

    // The final name only where none exists yet; a file system without renameat2's flag (some
    // network ones) gets a second name and loses the first, which fails on an existing name too.
    if (::renameat2(folder.get(), temporaryName.c_str(), folder.get(), name.c_str(), RENAME_NOREPLACE) != 0) {
        if (errno != EINVAL && errno != ENOSYS) {
            if (errno == EEXIST) throw OsError("ya hay un archivo " + name + " en " + folderName, EEXIST);
            RaiseCopyError("no se puede dar el nombre " + name + " a la copia", errno);
        }
        if (::linkat(folder.get(), temporaryName.c_str(), folder.get(), name.c_str(), 0) != 0) {
            if (errno == EEXIST) throw OsError("ya hay un archivo " + name + " en " + folderName, EEXIST);
            RaiseCopyError("no se puede dar el nombre " + name + " a la copia", errno);
        }
        ::unlinkat(folder.get(), temporaryName.c_str(), 0);
    }
    temporary.Keep();
    ::fsync(folder.get());
}

} // namespace veltor::posix
