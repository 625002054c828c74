#pragma once
#include <cstdint>
#include <functional>

namespace veltor {

// A millisecond timer of the window's message loop. Its event comes on the GUI thread, from the
// loop itself or from a run that lets pending events through, and repeats every interval while
// the timer stays enabled.
// - Enabling a disabled timer starts a full interval; enabling an enabled one changes nothing.
// - Giving an enabled timer a different interval starts a full new interval.
// - With interval 0 the timer never fires. Intervals above 2^31 - 1 ms wait 2^31 - 1 ms.
class ITimer {
public:
    virtual ~ITimer() = default;
    virtual void SetInterval(std::uint32_t milliseconds) = 0;
    virtual std::uint32_t Interval() const = 0;
    virtual void SetEnabled(bool enabled) = 0;
    virtual bool Enabled() const = 0;
    // The handler of the timer's event, set by the window that owns the timer. An empty handler
    // unbinds it.
    virtual void SetOnTimer(std::function<void()> handler) = 0;
};

} // namespace veltor
