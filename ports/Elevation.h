#pragma once
#include <cstdint>
#include <string>

namespace veltor {

// Administrator rights of the running process.
class IElevation {
public:
    virtual ~IElevation() = default;
    // False on any failure of the test; never raises.
    virtual bool IsAdministrator() const = 0;
    // Starts the program's own executable again with administrator rights and the single
    // argument "-elevated", and returns without waiting for it. Raises OsError with
    // SystemErrorText when the new instance cannot be started.
    virtual void RelaunchElevated() = 0;
};

// The text of a failed operating-system call that nothing handles.
inline std::string SystemErrorText(std::uint32_t code, const std::string& systemMessage) {
    if (code == 0) return "A call to an OS function failed";
    return "System Error.  Code: " + std::to_string(static_cast<std::int32_t>(code)) + ".\r\n" + systemMessage;
}

} // namespace veltor
