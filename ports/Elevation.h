#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace veltor {

// Administrator rights of the running process.
class IElevation {
public:
    virtual ~IElevation() = default;
    // False on any failure of the test; never raises.
    virtual bool IsAdministrator() const = 0;
    // Starts the program's own executable again with administrator rights, with "-elevated"
    // followed by `arguments`, and returns the exit code this process ends with: on Windows 0
    // at once, on Linux the new instance's own once it has ended (the password prompt may need
    // this process's terminal). Raises OsError with SystemErrorText when the new instance
    // cannot be started, the prompt is refused or fails.
    virtual int RelaunchElevated(const std::vector<std::string>& arguments) = 0;
};

// The text of a failed operating-system call that nothing handles.
inline std::string SystemErrorText(std::uint32_t code, const std::string& systemMessage) {
    if (code == 0) return "A call to an OS function failed";
    return "System Error.  Code: " + std::to_string(static_cast<std::int32_t>(code)) + ".\r\n" + systemMessage;
}

} // namespace veltor
