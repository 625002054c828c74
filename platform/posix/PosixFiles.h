#pragma once
// Descriptors and the safe opening of files for the POSIX adapters (not a port).

#include "ports/Errors.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/types.h>
#include <unistd.h>
#include <utility>

namespace veltor::posix {

[[noreturn]] inline void RaiseErrno(int code) {
    throw OsError(std::strerror(code), static_cast<std::uint32_t>(code));
}

// Owns one file descriptor and closes it when it goes.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    // Gives up the descriptor without closing it.
    int Release() { return std::exchange(fd_, -1); }
    // Closes now; returns 0 or the errno of close.
    int Close() {
        const int fd = std::exchange(fd_, -1);
        return fd >= 0 && ::close(fd) != 0 ? errno : 0;
    }

private:
    int fd_;
};

struct OpenRules {
    // Follow a symbolic link at the last part of the path (only where the administrator alone
    // can write the folder).
    bool followLinks = false;
    // Refuse a file with more than one name: a hard link to a file elsewhere.
    bool singleName = false;
    // Permission bits of a file that O_CREAT makes (before the umask).
    mode_t createMode = 0666;
};

// Opens `path` with `flags` (O_RDONLY, O_WRONLY | O_APPEND | O_CREAT ...) as a regular file by
// the rules, close-on-exec, in blocking mode. A link refused, anything but a regular file and a
// second name refused raise OsError with a message that says so; other failures the system's.
Descriptor OpenRegularFile(const std::string& path, int flags, OpenRules rules);

// Writes the folder of `path` out, so that a rename in it survives a crash; best effort.
void SyncFolderOf(const std::string& path) noexcept;

} // namespace veltor::posix
