// The platform version record of Windows.
#include "platform/win32/Win32Platform.h"
#include "platform/win32/WinApi.h"

namespace veltor::win32 {

static_assert(sizeof(OSVERSIONINFOA) == 148, "the basic version record");

std::optional<OsVersionInfo> Win32OsVersion::Query() const {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(&info)) return std::nullopt;
#pragma GCC diagnostic pop
    return OsVersionInfo{info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion};
}

} // namespace veltor::win32
