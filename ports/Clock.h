#pragma once
#include <cstdint>

namespace veltor {

// A moment of the local wall clock, broken down.
struct LocalDateTime {
    int year = 1900;
    int month = 1; // 1..12
    int day = 1;   // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int weekday = 1; // 0 = Sunday .. 6 = Saturday
};

// The local clock, the 32-bit millisecond tick count and a blocking sleep of the calling thread.
class IClock {
public:
    virtual ~IClock() = default;
    virtual LocalDateTime Now() const = 0;
    // Milliseconds since some fixed point; wraps at 2^32.
    virtual std::uint32_t TickCount() const = 0;
    virtual void Sleep(std::uint32_t milliseconds) = 0;
};

} // namespace veltor
