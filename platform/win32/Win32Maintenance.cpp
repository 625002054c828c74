// The launch of the installation's maintenance script and the exchange of a company's
// database file for its restored copy, on Windows.
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Text.h"
#include "platform/win32/WinApi.h"

#include "ports/Errors.h"
#include <shellapi.h>

namespace veltor::win32 {

bool Win32ShellLauncher::LaunchScript(const std::string& script, const std::string& argument) {
    // Both names quoted, no folder: the shell looks the script up in the current directory.
    const std::string file = "\"" + script + "\"";
    const std::string parameters = "\"" + argument + "\"";
    const HINSTANCE result = ShellExecuteA(nullptr, "open", file.c_str(), parameters.c_str(), "", SW_SHOW);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

void Win32DatabaseFiles::MatchAccess(const std::string&, const std::string&) {
    // The restored file was made by the server's own service manager process on this machine
    // and inherits the folder's permissions like the live file.
}

void Win32DatabaseFiles::SwapInRestored(const std::string& live, const std::string& restored, const std::string& kept) {
    if (GetFileAttributesA(kept.c_str()) != INVALID_FILE_ATTRIBUTES)
        throw OsError(SystemMessage(ERROR_FILE_EXISTS), ERROR_FILE_EXISTS);
    if (GetFileAttributesA(restored.c_str()) == INVALID_FILE_ATTRIBUTES) RaiseLastError();
    // One call: the live file becomes the kept copy and the restored file takes its name; on a
    // failure Windows leaves the live file in place (or restores it, ERROR_UNABLE_TO_MOVE_REPLACEMENT_2).
    if (!ReplaceFileA(live.c_str(), restored.c_str(), kept.c_str(), REPLACEFILE_WRITE_THROUGH, nullptr, nullptr))
        RaiseLastError();
}

} // namespace veltor::win32
