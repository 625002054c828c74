// Files and folders through the Windows file API.
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Text.h"
#include "platform/win32/WinApi.h"
#include "ports/Errors.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace veltor::win32 {
namespace {

[[noreturn]] void Raise(DWORD code) {
    throw OsError(SystemMessage(code), code);
}

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() {
        if (valid()) CloseHandle(handle_);
    }
    Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
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

DWORD ChunkOf(std::size_t size) {
    return static_cast<DWORD>(std::min<std::size_t>(size, std::numeric_limits<DWORD>::max()));
}

class Win32InputFile final : public IInputFile {
public:
    explicit Win32InputFile(Handle handle) : handle_(std::move(handle)) {}

    std::size_t Read(char* buffer, std::size_t size) override {
        DWORD read = 0;
        if (!ReadFile(handle_.get(), buffer, ChunkOf(size), &read, nullptr)) RaiseLastError();
        return read;
    }

private:
    Handle handle_;
};

class Win32AppendFile final : public IAppendFile {
public:
    explicit Win32AppendFile(Handle handle) : handle_(std::move(handle)) {}
    ~Win32AppendFile() override {
        try {
            Close();
        } catch (...) {
        }
    }

    void Write(std::string_view bytes) override {
        if (!handle_.valid()) Raise(ERROR_INVALID_HANDLE);
        // Written through at once: a process ended in the middle of a run leaves every line it
        // wrote in the month log, up to the step where it ended.
        buffer_.append(bytes);
        Flush();
    }

    void Close() override {
        if (!handle_.valid()) return;
        DWORD error = 0;
        try {
            Flush();
        } catch (const OsError& e) {
            error = e.code();
        }
        buffer_.clear();
        const DWORD closeError = handle_.Close();
        if (error == 0) error = closeError;
        if (error != 0) Raise(error);
    }

private:
    // What could not be written stays buffered, so a later Close tries it once more.
    void Flush() {
        while (!buffer_.empty()) {
            DWORD written = 0;
            const BOOL ok = WriteFile(handle_.get(), buffer_.data(), ChunkOf(buffer_.size()), &written, nullptr);
            buffer_.erase(0, written);
            if (!ok) RaiseLastError();
            if (written == 0) Raise(ERROR_WRITE_FAULT);
        }
    }

    Handle handle_;
    std::string buffer_;
};

DWORD AttributesOf(const std::string& path) {
    return GetFileAttributesA(path.c_str());
}

} // namespace

bool Win32FileSystem::FileExists(const std::string& path) const {
    const DWORD attributes = AttributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool Win32FileSystem::DirectoryExists(const std::string& path) const {
    const DWORD attributes = AttributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void Win32FileSystem::CreateDirectory(const std::string& path) {
    if (!CreateDirectoryA(path.c_str(), nullptr)) RaiseLastError();
}

bool Win32FileSystem::RemoveFile(const std::string& path) {
    if (DeleteFileA(path.c_str())) return true;
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return false;
    Raise(code);
}

bool Win32FileSystem::CopyFileNoOverwrite(const std::string& from, const std::string& to) {
    return CopyFileA(from.c_str(), to.c_str(), TRUE) != 0;
}

std::unique_ptr<IInputFile> Win32FileSystem::OpenForReading(const std::string& path) {
    // Sharing writes too lets us read a file that a writer holds open, the month log included.
    Handle handle(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle.valid()) RaiseLastError();
    return std::make_unique<Win32InputFile>(std::move(handle));
}

std::unique_ptr<IAppendFile> Win32FileSystem::OpenForAppend(const std::string& path) {
    Handle handle(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr));
    if (!handle.valid()) RaiseLastError();
    LARGE_INTEGER end{};
    if (!SetFilePointerEx(handle.get(), end, nullptr, FILE_END)) RaiseLastError();
    return std::make_unique<Win32AppendFile>(std::move(handle));
}

void Win32FileSystem::ReplaceFileContent(const std::string& path, std::string_view bytes) {
    static LONG counter = 0;
    const std::string temporary = path + ".tmp-" + std::to_string(GetCurrentProcessId()) + "-" +
                                  std::to_string(InterlockedIncrement(&counter));
    Handle handle(CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle.valid()) RaiseLastError();
    DWORD error = 0;
    for (std::size_t done = 0; error == 0 && done < bytes.size();) {
        DWORD written = 0;
        if (!WriteFile(handle.get(), bytes.data() + done, ChunkOf(bytes.size() - done), &written, nullptr))
            error = GetLastError();
        else if (written == 0)
            error = ERROR_WRITE_FAULT;
        done += written;
    }
    if (error == 0 && !FlushFileBuffers(handle.get())) error = GetLastError();
    const DWORD closeError = handle.Close();
    if (error == 0) error = closeError;
    if (error == 0 && !MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = GetLastError();
    if (error != 0) {
        DeleteFileA(temporary.c_str());
        Raise(error);
    }
}

std::vector<std::string> Win32FileSystem::ListFiles(const std::string& folder) const {
    std::string pattern = folder;
    if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
    pattern += '*';
    WIN32_FIND_DATAA found{};
    const HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    std::vector<std::string> names;
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND) return names;
        Raise(code);
    }
    DWORD error = 0;
    do {
        if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0)
            names.emplace_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    error = GetLastError();
    FindClose(search);
    if (error != ERROR_NO_MORE_FILES) Raise(error);
    return names;
}

std::uint64_t Win32FileSystem::FileSize(const std::string& path) const {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) RaiseLastError();
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

ConfigurationRules WindowsConfigurationRules() {
    return ConfigurationRules{};
}

} // namespace veltor::win32
