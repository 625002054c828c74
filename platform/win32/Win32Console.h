#pragma once
// The headless program's console on Windows: Ctrl-C, Ctrl-Break and the console's closing as
// stop requests, the program's texts written to it, and the person who answers at it.

#include "platform/console/ConsoleApplication.h"
#include "ports/Restore.h"

#include <cstdio>
#include <string>

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

// Writes the program's UTF-8 text to a stream: to a console as its characters (WriteConsoleW),
// whatever the console's code page; to a file or a pipe as its bytes, with CR LF line ends.
void WriteText(std::FILE* stream, const std::string& text);

// The question on the console's screen and the answer typed at its keyboard, as characters
// whatever the console's code pages.
class Win32Confirmation final : public IConfirmation {
public:
    // Standard input and standard output are both a console.
    bool CanAsk() const override;
    // Writes the UTF-8 question and reads one line; no answer (the input is no console, or it
    // ended) is a no.
    bool Confirm(const std::string& question) override;
};

} // namespace veltor::win32
