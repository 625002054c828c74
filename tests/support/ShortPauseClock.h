#pragma once
// The local clock with every pause cut to at most `pause` milliseconds, so that a run's waits
// (the pause before the exchange) take little of a test's time.

#include "platform/posix/PosixPlatform.h"

#include <algorithm>
#include <cstdint>

namespace veltor::test {

class ShortPauseClock : public IClock {
public:
    explicit ShortPauseClock(std::uint32_t pause = 1000) : pause_(pause) {}
    LocalDateTime Now() const override { return clock_.Now(); }
    std::uint32_t TickCount() const override { return clock_.TickCount(); }
    void Sleep(std::uint32_t milliseconds) override { clock_.Sleep(std::min(milliseconds, pause_)); }

private:
    posix::PosixClock clock_;
    std::uint32_t pause_;
};

} // namespace veltor::test
