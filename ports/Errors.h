#pragma once
// Errors raised through the ports. Every one carries a message that the runs write
// to the activity memo and the month log unchanged.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace veltor {

// A failed operating-system call: the system's own message and its error code
// (errno on POSIX, GetLastError on Windows).
class OsError : public std::runtime_error {
public:
    OsError(const std::string& message, std::uint32_t code) : std::runtime_error(message), code_(code) {}
    std::uint32_t code() const noexcept { return code_; }

private:
    std::uint32_t code_;
};

// The program's own reasons for refusing a name that the system would have opened, worded like
// the program's lines.
inline constexpr const char* kIsSymbolicLink = "Es un enlace simbólico";
inline constexpr const char* kNotRegularFile = "No es un archivo normal";
inline constexpr const char* kHasSecondName = "Tiene un segundo nombre (un enlace duro)";

} // namespace veltor
