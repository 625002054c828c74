// The launch of the installation's maintenance script and the files beside a company's
// database, on Windows.
#include "platform/win32/Win32Files.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Text.h"
#include "platform/win32/WinApi.h"

#include "ports/Errors.h"
#include <aclapi.h>
#include <shellapi.h>

namespace veltor::win32 {
namespace {

// An open handle of a file, for its information only; closed when it goes.
class FileHandle {
public:
    explicit FileHandle(const std::string& path)
        : handle_(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)) {}
    ~FileHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

// The restore privilege enabled for as long as it lives, when the process holds it (LocalSystem
// does, disabled): it lets the owner of a file be any account, not only this one.
class RestorePrivilege {
public:
    RestorePrivilege() {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
        token_ = token;
        TOKEN_PRIVILEGES wanted{1, {{{}, SE_PRIVILEGE_ENABLED}}};
        DWORD size = sizeof before_;
        if (LookupPrivilegeValueA(nullptr, "SeRestorePrivilege", &wanted.Privileges[0].Luid) &&
            AdjustTokenPrivileges(token_, FALSE, &wanted, sizeof before_, &before_, &size) &&
            GetLastError() == ERROR_SUCCESS)
            adjusted_ = true;
    }
    ~RestorePrivilege() {
        if (adjusted_) AdjustTokenPrivileges(token_, FALSE, &before_, 0, nullptr, nullptr);
        if (token_ != nullptr) CloseHandle(token_);
    }
    RestorePrivilege(const RestorePrivilege&) = delete;
    RestorePrivilege& operator=(const RestorePrivilege&) = delete;

private:
    HANDLE token_ = nullptr;
    TOKEN_PRIVILEGES before_{};
    bool adjusted_ = false;
};

// Owns what GetSecurityInfo allocates.
struct SecurityDescriptor {
    PSECURITY_DESCRIPTOR memory = nullptr;
    SecurityDescriptor() = default;
    SecurityDescriptor(const SecurityDescriptor&) = delete;
    SecurityDescriptor& operator=(const SecurityDescriptor&) = delete;
    ~SecurityDescriptor() {
        if (memory != nullptr) LocalFree(memory);
    }
};

[[noreturn]] void Raise(DWORD code) {
    throw OsError(SystemMessage(code), code);
}

std::string WithoutFinalSeparator(std::string folder) {
    while (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/') && folder[folder.size() - 2] != ':')
        folder.pop_back();
    return folder;
}

} // namespace

CheckedScript CheckScript(const std::string& script) {
    CheckedScript checked;
    const std::size_t separator = script.find_last_of("\\/");
    if (separator == std::string::npos) {
        // By its full path in the current folder: a bare name would let the system look it up
        // on the PATH or in App Paths.
        const DWORD size = GetCurrentDirectoryA(0, nullptr);
        std::string folder(size, '\0');
        const DWORD length = size == 0 ? 0 : GetCurrentDirectoryA(size, folder.data());
        if (length == 0 || length >= size) return {};
        folder.resize(length);
        checked.folder = WithoutFinalSeparator(folder);
        checked.path = checked.folder + (checked.folder.back() == '\\' ? "" : "\\") + script;
    } else {
        checked.folder = WithoutFinalSeparator(script.substr(0, separator + 1));
        checked.path = script;
    }

    const DWORD attributes = GetFileAttributesA(checked.path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return {};
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        checked.refused = "es un enlace simbólico: " + Utf8FromAnsi(checked.path);
    } else if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
        return {};
    } else {
        try {
            checked.refused =
                access::ScriptRefusal(ReadAccessList(checked.folder), Utf8FromAnsi(checked.folder),
                                      ReadAccessList(checked.path), Utf8FromAnsi(checked.path), ProcessAccount());
        } catch (const OsError& e) {
            checked.refused = "no se pueden leer los permisos de " + Utf8FromAnsi(checked.path) + ": " + e.what();
        }
    }
    if (!checked.refused.empty()) checked.path.clear();
    return checked;
}

ScriptLaunch Win32ShellLauncher::LaunchScript(const std::string& script, const std::string& argument) {
    const CheckedScript checked = CheckScript(script);
    if (checked.path.empty()) return {false, checked.refused};
    // The folder is the administrators' alone, so the file checked is the file started.
    const std::string file = "\"" + checked.path + "\"";
    const std::string parameters = "\"" + argument + "\"";
    const HINSTANCE result =
        ShellExecuteA(nullptr, "open", file.c_str(), parameters.c_str(), checked.folder.c_str(), SW_SHOW);
    return {reinterpret_cast<INT_PTR>(result) > 32, {}};
}

void Win32DatabaseFiles::MatchAccess(const std::string& live, const std::string& restored) {
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    // Whoever made the restored file (this process's engine or the server), it got the folder's
    // inheritable entries and its maker as owner; an entry of the live file's own (the server's
    // account) would be lost at the swap. Both are opened as themselves, never through a link,
    // and the restored file only with one name: the folder may be the server account's.
    const Handle source = OpenRegularFile(live, READ_CONTROL, kShareAll, OPEN_EXISTING, {});
    const RestorePrivilege privilege;
    const Handle target = OpenRegularFile(restored, READ_CONTROL | WRITE_DAC | WRITE_OWNER, kShareAll, OPEN_EXISTING,
                                          {.singleName = true, .backupSemantics = true});
    PSID owner = nullptr;
    PACL dacl = nullptr;
    SecurityDescriptor descriptor;
    DWORD error = GetSecurityInfo(source.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                  &owner, nullptr, &dacl, nullptr, &descriptor.memory);
    if (error != ERROR_SUCCESS) Raise(error);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!GetSecurityDescriptorControl(descriptor.memory, &control, &revision)) RaiseLastError();
    // The list as it is, the entries the live file inherited among them, and protected from the
    // folder's entries when the live one is.
    const SECURITY_INFORMATION protection = (control & SE_DACL_PROTECTED) != 0 ? PROTECTED_DACL_SECURITY_INFORMATION
                                                                               : UNPROTECTED_DACL_SECURITY_INFORMATION;
    error = SetSecurityInfo(target.get(), SE_FILE_OBJECT,
                            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | protection, owner, nullptr, dacl,
                            nullptr);
    if (error != ERROR_SUCCESS) Raise(error);
}

void Win32DatabaseFiles::LinkFile(const std::string& existing, const std::string& link) {
    if (!CreateHardLinkA(link.c_str(), existing.c_str(), nullptr)) RaiseLastError();
}

void Win32DatabaseFiles::RenameOver(const std::string& from, const std::string& to) {
    if (!MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) RaiseLastError();
}

bool Win32DatabaseFiles::RemoveFile(const std::string& path) {
    if (DeleteFileA(path.c_str())) return true;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return false;
    throw OsError(SystemMessage(error), error);
}

NameHolds Win32DatabaseFiles::WhatIsAt(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return NameHolds::Nothing;
        throw OsError(SystemMessage(error), error);
    }
    // A reparse point (a symbolic link, a junction) is a link whatever it leads to.
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return NameHolds::Link;
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) return NameHolds::Other;
    return NameHolds::RegularFile;
}

bool Win32DatabaseFiles::SameFile(const std::string& a, const std::string& b) {
    const FileHandle first(a);
    const FileHandle second(b);
    BY_HANDLE_FILE_INFORMATION one{};
    BY_HANDLE_FILE_INFORMATION two{};
    if (!first.valid() || !second.valid() || !GetFileInformationByHandle(first.get(), &one) ||
        !GetFileInformationByHandle(second.get(), &two))
        return false;
    return one.dwVolumeSerialNumber == two.dwVolumeSerialNumber && one.nFileIndexHigh == two.nFileIndexHigh &&
           one.nFileIndexLow == two.nFileIndexLow;
}

std::uint64_t Win32DatabaseFiles::FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) RaiseLastError();
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

LocalDateTime Win32DatabaseFiles::LastWritten(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) RaiseLastError();
    SYSTEMTIME universal{};
    SYSTEMTIME local{};
    if (!FileTimeToSystemTime(&data.ftLastWriteTime, &universal) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local))
        RaiseLastError();
    return LocalDateTimeOf(local);
}

VolumeRoom Win32DatabaseFiles::RoomIn(const std::string& folder) {
    const std::string path = WithoutFinalSeparator(folder);
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExA(path.c_str(), &available, nullptr, nullptr)) RaiseLastError();
    const FileHandle handle(path);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!handle.valid() || !GetFileInformationByHandle(handle.get(), &info)) RaiseLastError();
    return {available.QuadPart, info.dwVolumeSerialNumber};
}

std::vector<std::string> Win32DatabaseFiles::FileNamesIn(const std::string& folder) {
    const std::string pattern = WithoutFinalSeparator(folder) + "\\*";
    WIN32_FIND_DATAA found{};
    const HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    std::vector<std::string> names;
    if (search == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND) return names;
        RaiseLastError();
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.emplace_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    const DWORD error = GetLastError();
    FindClose(search);
    if (error != ERROR_NO_MORE_FILES) throw OsError(SystemMessage(error), error);
    return names;
}

} // namespace veltor::win32
