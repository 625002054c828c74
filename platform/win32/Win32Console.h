#pragma once
// The headless program's console on Windows: Ctrl-C, Ctrl-Break and the console's closing as
// stop requests, and UTF-8 output while the program runs.

#include "platform/console/ConsoleApplication.h"

namespace veltor::win32 {

// A console control handler sets an event that the loop waits on. Ctrl-C and Ctrl-Break are
// taken and the program goes on to the end of its run. The console's closing, the user's
// logoff and the system's shutdown end the process when the handler returns, so the handler
// keeps them waiting while the program ends by itself (the system allows a few seconds). One
// such object at a time.
class Win32ConsoleStops final : public console::IStopRequests {
public:
    Win32ConsoleStops() = default;
    ~Win32ConsoleStops() override;
    Win32ConsoleStops(const Win32ConsoleStops&) = delete;
    Win32ConsoleStops& operator=(const Win32ConsoleStops&) = delete;

    void Install() override;
    bool Take(int timeoutMilliseconds) override;

private:
    bool installed_ = false;
};

// The console's output code page set to UTF-8, the program's own text encoding, for the life
// of the object; the previous one comes back at its end. Nothing happens without a console.
class Utf8ConsoleOutput {
public:
    Utf8ConsoleOutput();
    ~Utf8ConsoleOutput();
    Utf8ConsoleOutput(const Utf8ConsoleOutput&) = delete;
    Utf8ConsoleOutput& operator=(const Utf8ConsoleOutput&) = delete;

private:
    unsigned previous_ = 0;
};

} // namespace veltor::win32
