// Files and folders through the Windows file API.
#include "platform/win32/Win32Files.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Text.h"
#include "platform/win32/WinApi.h"
#include "ports/Errors.h"

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

namespace veltor::win32 {
namespace {

[[noreturn]] void Raise(DWORD code) {
    throw OsError(SystemMessage(code), code);
}

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

// Gives the open file `from` the name `to` of the same folder, replacing the file of that name
// with POSIX semantics; false when the names lie in different folders or the system cannot.
// Windows 10's class of the rename with flags; the MinGW headers hide it behind a version test
// that no _WIN32_WINNT passes.
constexpr auto kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);

bool RenameInItsFolder(HANDLE file, const std::string& from, const std::string& to) {
    const std::size_t slash = to.find_last_of("\\/");
    if (slash == std::string::npos || from.find_last_of("\\/") != slash || from.compare(0, slash, to, 0, slash) != 0)
        return false;
    // A bare name, without a root folder: the file keeps its folder.
    const std::wstring name = WideFromUtf8(Utf8FromAnsi(to.substr(slash + 1)));
    std::vector<std::byte> buffer(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->Flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::memcpy(info->FileName, name.data(), info->FileNameLength);
    return SetFileInformationByHandle(file, kFileRenameInfoEx, info, static_cast<DWORD>(buffer.size())) != 0;
}

// The rights of the database server's account on a backup folder: read, write and delete, not
// the change of its permissions or owner.
constexpr DWORD kModifyRights = FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;

// A security identifier of our own, whatever it came from.
using Sid = std::vector<BYTE>;

Sid WellKnownSid(WELL_KNOWN_SID_TYPE type) {
    Sid sid(SECURITY_MAX_SID_SIZE);
    DWORD size = static_cast<DWORD>(sid.size());
    if (!CreateWellKnownSid(type, nullptr, sid.data(), &size)) RaiseLastError();
    sid.resize(size);
    return sid;
}

// The account a service runs as, from the service control manager; empty when the service is
// not installed here or the account cannot be told.
Sid ServiceAccountSid(const std::string& service) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) return {};
    SC_HANDLE handle = OpenServiceA(manager, service.c_str(), SERVICE_QUERY_CONFIG);
    std::string account;
    if (handle) {
        DWORD needed = 0;
        QueryServiceConfigA(handle, nullptr, 0, &needed);
        std::vector<BYTE> buffer(needed);
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
        if (needed > 0 && QueryServiceConfigA(handle, config, needed, &needed) && config->lpServiceStartName)
            account = config->lpServiceStartName;
        CloseServiceHandle(handle);
    }
    CloseServiceHandle(manager);
    if (account.empty()) return {};
    if (_stricmp(account.c_str(), "LocalSystem") == 0) return WellKnownSid(WinLocalSystemSid);
    // ".\name" is an account of this machine.
    if (account.rfind(".\\", 0) == 0) account.erase(0, 2);
    Sid sid(SECURITY_MAX_SID_SIZE);
    DWORD sidSize = static_cast<DWORD>(sid.size());
    char domain[256];
    DWORD domainSize = sizeof domain;
    SID_NAME_USE use{};
    if (!LookupAccountNameA(nullptr, account.c_str(), sid.data(), &sidSize, domain, &domainSize, &use)) return {};
    sid.resize(sidSize);
    return sid;
}

// Owns what the security calls allocate with LocalAlloc.
struct LocalMemory {
    void* memory = nullptr;
    LocalMemory() = default;
    LocalMemory(const LocalMemory&) = delete;
    LocalMemory& operator=(const LocalMemory&) = delete;
    ~LocalMemory() {
        if (memory) LocalFree(memory);
    }
};

// The descriptor that Windows makes of a text, into `descriptor`.
void DescriptorOf(const char* sddl, LocalMemory& descriptor) {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor.memory, nullptr))
        RaiseLastError();
}

// A security identifier in its "S-1-..." form.
std::string SidText(PSID sid) {
    LocalMemory text;
    if (sid == nullptr || !ConvertSidToStringSidA(sid, reinterpret_cast<LPSTR*>(&text.memory))) return {};
    return static_cast<const char*>(text.memory);
}

access::List AccessListOf(PSECURITY_DESCRIPTOR descriptor) {
    access::List list;
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (GetSecurityDescriptorOwner(descriptor, &owner, &defaulted)) list.owner = SidText(owner);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!GetSecurityDescriptorControl(descriptor, &control, &revision)) RaiseLastError();
    list.inherits = (control & SE_DACL_PROTECTED) == 0;
    BOOL present = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) RaiseLastError();
    list.present = present && dacl != nullptr;
    for (DWORD i = 0; list.present && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) RaiseLastError();
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        // Allowed, callback and denied entries have the same layout: the mask, then the identifier;
        // entries of other kinds (audit, object) do not allow anything on a file.
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        const bool allows =
            header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_ALLOWED_CALLBACK_ACE_TYPE;
        list.entries.push_back({allows, SidText(const_cast<DWORD*>(&allowed->SidStart)), allowed->Mask,
                                (header->AceFlags & INHERIT_ONLY_ACE) != 0});
    }
    return list;
}

} // namespace

access::List ReadAccessList(const std::string& path) {
    LocalMemory descriptor;
    const DWORD error =
        GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, nullptr, nullptr, &descriptor.memory);
    if (error != ERROR_SUCCESS) Raise(error);
    return AccessListOf(descriptor.memory);
}

std::string ProcessAccount() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    const Handle owned(token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size);
    if (size == 0 || !GetTokenInformation(token, TokenUser, user.data(), size, &size)) return {};
    return SidText(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid);
}

access::List AccessListOfSddl(const char* sddl) {
    LocalMemory descriptor;
    DescriptorOf(sddl, descriptor);
    return AccessListOf(descriptor.memory);
}

void ProtectDataFolder(const std::string& folder) {
    LocalMemory descriptor;
    DescriptorOf(access::kDataFolderSddl, descriptor);
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    if (!GetSecurityDescriptorOwner(descriptor.memory, &owner, &defaulted) ||
        !GetSecurityDescriptorDacl(descriptor.memory, &present, &dacl, &defaulted))
        RaiseLastError();
    const DWORD error = SetNamedSecurityInfoA(const_cast<LPSTR>(folder.c_str()), SE_FILE_OBJECT,
                                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                                  PROTECTED_DACL_SECURITY_INFORMATION,
                                              owner, nullptr, dacl, nullptr);
    if (error != ERROR_SUCCESS) Raise(error);
}

std::string DataFolderProtectedLine(const std::string& folder) {
    return "Permisos de la carpeta de datos " + Utf8FromAnsi(folder) +
           " restablecidos: solo administradores y SYSTEM tienen acceso";
}

bool ProtectDataFolderWhenLess(const std::string& folder) {
    if (!access::LessProtectedThanDataFolder(ReadAccessList(folder))) return false;
    ProtectDataFolder(folder);
    return true;
}

Handle OpenRegularFile(const std::string& path, DWORD access, DWORD share, DWORD disposition, OpenRules rules) {
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | (rules.followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT) |
                        (rules.backupSemantics ? FILE_FLAG_BACKUP_SEMANTICS : 0);
    // The name is asked first as well: Wine does not open a link as itself, whatever the flag.
    const DWORD named = rules.followLinks ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(path.c_str());
    if (named != INVALID_FILE_ATTRIBUTES && (named & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        throw OsError(kIsSymbolicLink, ERROR_CANT_ACCESS_FILE);
    Handle handle(CreateFileA(path.c_str(), access, share, nullptr, disposition, flags, nullptr));
    if (!handle.valid()) RaiseLastError();
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(handle.get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle.get(), &info))
        throw OsError(kNotRegularFile, ERROR_INVALID_FUNCTION);
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        throw OsError(kIsSymbolicLink, ERROR_CANT_ACCESS_FILE);
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) throw OsError(kNotRegularFile, ERROR_DIRECTORY);
    if (rules.singleName && info.nNumberOfLinks > 1) throw OsError(kHasSecondName, ERROR_TOO_MANY_LINKS);
    return handle;
}

Win32FileSystem::Win32FileSystem(std::vector<std::string> serverServices)
    : serverServices_(std::move(serverServices)) {}

bool Win32FileSystem::FileExists(const std::string& path) const {
    const DWORD attributes = AttributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool Win32FileSystem::DirectoryExists(const std::string& path) const {
    const DWORD attributes = AttributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void Win32FileSystem::CreateDirectory(const std::string& path) {
    // Not the permissions of the parent (C:\ lets every user write): the administrators, the
    // system and the database server's account, which writes the backups, and nobody else;
    // what is made inside inherits them.
    std::vector<Sid> sids = {WellKnownSid(WinBuiltinAdministratorsSid), WellKnownSid(WinLocalSystemSid)};
    std::vector<DWORD> rights = {FILE_ALL_ACCESS, FILE_ALL_ACCESS};
    for (const std::string& service : serverServices_) {
        Sid account = ServiceAccountSid(service);
        if (account.empty()) continue;
        if (std::find(sids.begin(), sids.end(), account) == sids.end()) {
            sids.push_back(std::move(account));
            rights.push_back(kModifyRights);
        }
        break;
    }
    std::vector<EXPLICIT_ACCESS_A> entries(sids.size());
    for (std::size_t i = 0; i < sids.size(); ++i) {
        entries[i].grfAccessPermissions = rights[i];
        entries[i].grfAccessMode = SET_ACCESS;
        entries[i].grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
        entries[i].Trustee.TrusteeForm = TRUSTEE_IS_SID;
        entries[i].Trustee.TrusteeType = TRUSTEE_IS_UNKNOWN;
        entries[i].Trustee.ptstrName = reinterpret_cast<LPSTR>(sids[i].data());
    }
    LocalMemory acl;
    const DWORD aclError = SetEntriesInAclA(static_cast<ULONG>(entries.size()), entries.data(), nullptr,
                                            reinterpret_cast<PACL*>(&acl.memory));
    if (aclError != ERROR_SUCCESS) Raise(aclError);
    SECURITY_DESCRIPTOR descriptor{};
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, static_cast<PACL>(acl.memory), FALSE) ||
        !SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        RaiseLastError();
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
    if (!CreateDirectoryA(path.c_str(), &attributes)) RaiseLastError();
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

void Win32FileSystem::PublishFile(const std::string& from, const std::string& to, Existing existing) {
    {
        // Whoever wrote it (the database server writes the backups), its content is on the disk
        // before any name says it is whole.
        const Handle file = OpenRegularFile(from, GENERIC_WRITE | DELETE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING, {});
        if (!FlushFileBuffers(file.get())) RaiseLastError();
        // The classic rename refuses a name that a reader holds open, even one that shares the
        // deletion (a monitoring check reading the status file); the rename of POSIX semantics
        // (Windows 10 and later) replaces it, the reader keeping the old content.
        if (existing == Existing::Replace && RenameInItsFolder(file.get(), from, to)) return;
    }
    // Without MOVEFILE_REPLACE_EXISTING the move fails on a name that exists; a reparse point is
    // moved as itself.
    const DWORD replace = existing == Existing::Replace ? MOVEFILE_REPLACE_EXISTING : 0;
    if (!MoveFileExA(from.c_str(), to.c_str(), replace | MOVEFILE_WRITE_THROUGH)) RaiseLastError();
}

std::unique_ptr<IInputFile> Win32FileSystem::OpenForReading(const std::string& path, Links links) {
    // Sharing writes too lets us read a file that a writer holds open, the month log included;
    // sharing the deletion lets a run rename a new file over one being read (the status file).
    Handle handle = OpenRegularFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    OPEN_EXISTING, {.followLinks = links == Links::Follow});
    return std::make_unique<Win32InputFile>(std::move(handle));
}

std::unique_ptr<IAppendFile> Win32FileSystem::OpenForAppend(const std::string& path) {
    Handle handle = OpenRegularFile(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS, {.singleName = true});
    LARGE_INTEGER end{};
    if (!SetFilePointerEx(handle.get(), end, nullptr, FILE_END)) RaiseLastError();
    return std::make_unique<Win32AppendFile>(std::move(handle));
}

std::unique_ptr<IAppendFile> Win32FileSystem::CreateNew(const std::string& path) {
    // CREATE_NEW fails on any name that exists, a link included.
    Handle handle(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle.valid()) RaiseLastError();
    return std::make_unique<Win32AppendFile>(std::move(handle));
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

namespace {

// A handle opened without sharing: no other opening of the file, in this process or another,
// gets through while it is open, and it goes with the handle.
class Win32FileLock final : public IFileLock {
public:
    explicit Win32FileLock(Handle handle) : handle_(std::move(handle)) {}

private:
    Handle handle_;
};

} // namespace

std::unique_ptr<IFileLock> Win32FileSystem::TryLockFile(const std::string& path) {
    const DWORD named = GetFileAttributesA(path.c_str());
    if (named != INVALID_FILE_ATTRIBUTES && (named & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        throw OsError(kIsSymbolicLink, ERROR_CANT_ACCESS_FILE);
    Handle handle(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle.valid()) {
        if (GetLastError() == ERROR_SHARING_VIOLATION) return nullptr;
        RaiseLastError();
    }
    return std::make_unique<Win32FileLock>(std::move(handle));
}

ConfigurationRules WindowsConfigurationRules() {
    return ConfigurationRules{};
}

} // namespace veltor::win32
