// Administrator rights: the token's membership in the Administrators group, and the relaunch
// of the program through the elevation prompt.
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Text.h"
#include "platform/win32/WinApi.h"
#include "ports/Errors.h"

#include <shellapi.h>

namespace veltor::win32 {
namespace {

// Owners of what the membership test obtains, released on every path.
struct Sid {
    PSID sid = nullptr;
    ~Sid() {
        if (sid) FreeSid(sid);
    }
};
struct Token {
    HANDLE handle = nullptr;
    ~Token() {
        if (handle) CloseHandle(handle);
    }
};

} // namespace

std::string ProgramPath() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) return path.substr(0, length);
        path.resize(path.size() * 2);
    }
}

bool Win32Elevation::IsAdministrator() const {
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    Sid administrators;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                  0, &administrators.sid))
        return false;
    Token process;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &process.handle)) return false;
    // CheckTokenMembership wants an impersonation token; given the process's primary token it
    // fails on Windows, which would make every administrator relaunch. Its duplicate for
    // identification answers for the same user and groups.
    Token identification;
    if (!DuplicateToken(process.handle, SecurityIdentification, &identification.handle)) return false;
    BOOL member = FALSE;
    if (!CheckTokenMembership(identification.handle, administrators.sid, &member)) return false;
    return member != FALSE;
}

int Win32Elevation::RelaunchElevated(const std::vector<std::string>& arguments) {
    const std::string program = ProgramPath();
    std::string parameters = "-elevated";
    for (const std::string& argument : arguments) {
        parameters += ' ';
        parameters += QuotedArgument(argument);
    }
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.hwnd = nullptr;
    info.lpVerb = "runas";
    info.lpFile = program.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = nullptr;
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExA(&info)) {
        const DWORD code = GetLastError();
        throw OsError(SystemErrorText(code, code != 0 ? SystemMessage(code) : std::string()), code);
    }
    // The new instance goes its own way; this one does not wait for it.
    if (info.hProcess) CloseHandle(info.hProcess);
    return 0;
}

} // namespace veltor::win32
