#pragma once
// SIGINT and SIGTERM as the headless program's stop requests.

#include "platform/console/ConsoleApplication.h"

namespace veltor::console {

// The handlers write a byte into a pipe that the loop waits on; the previous handlers come
// back when the object goes. One such object at a time.
class PosixStopSignals final : public IStopRequests {
public:
    PosixStopSignals() = default;
    ~PosixStopSignals() override;
    PosixStopSignals(const PosixStopSignals&) = delete;
    PosixStopSignals& operator=(const PosixStopSignals&) = delete;

    void Install() override;
    bool Take(int timeoutMilliseconds) override;

private:
    bool installed_ = false;
};

} // namespace veltor::console
