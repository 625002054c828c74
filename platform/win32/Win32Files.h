#pragma once
// The owner of a file handle and the one way this folder opens a file it must not be led away
// from, for the adapters of this folder only.

#include "platform/win32/WinApi.h"

#include <string>
#include <utility>

namespace veltor::win32 {

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() {
        if (valid()) CloseHandle(handle_);
    }
    Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            Close();
            handle_ = std::exchange(other.handle_, INVALID_HANDLE_VALUE);
        }
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    // Closes now; returns 0 or the error of CloseHandle.
    DWORD Close() {
        const HANDLE handle = std::exchange(handle_, INVALID_HANDLE_VALUE);
        if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return 0;
        return CloseHandle(handle) ? 0 : GetLastError();
    }

private:
    HANDLE handle_;
};

struct OpenRules {
    bool followLinks = false;
    bool singleName = false;
    // FILE_FLAG_BACKUP_SEMANTICS: with the restore privilege enabled, the rights to change the
    // owner and the access list are granted whatever the list says.
    bool backupSemantics = false;
};

// Opens with CreateFile; unless links are followed, a reparse point (a symbolic link or a
// junction) is opened as itself and refused, as are folders, devices and pipes, and, when asked,
// a file with a second name (a hard link).
Handle OpenRegularFile(const std::string& path, DWORD access, DWORD share, DWORD disposition, OpenRules rules);

struct CheckedScript {
    // The script's full path (or the path given), and its folder; the path is empty when the
    // script is not to be run.
    std::string path;
    std::string folder;
    // Why a script that is there must not be run; empty when it may, or when it is missing.
    std::string refused;
};

// Whether an administrator's script may be run: `script` is a path, or a name taken by its full
// path in the current folder. It runs as SYSTEM under the service, so it may only when it is a
// regular file (not a reparse point) and it and its folder belong to the administrators (or this
// process's account) and no access-list entry lets another account write them
// (access::ScriptRefusal).
CheckedScript CheckScript(const std::string& script);

} // namespace veltor::win32
