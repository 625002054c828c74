#include "platform/console/PosixStopSignals.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace veltor::console {
namespace {

// The self-pipe of the stop signals: the handler writes a byte, the loop reads it.
int signalPipe[2] = {-1, -1};
struct sigaction previousInt;
struct sigaction previousTerm;

extern "C" void OnStopSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

PosixStopSignals::~PosixStopSignals() {
    if (!installed_) return;
    sigaction(SIGINT, &previousInt, nullptr);
    sigaction(SIGTERM, &previousTerm, nullptr);
    close(signalPipe[0]);
    close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

void PosixStopSignals::Install() {
    if (installed_) return;
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error(std::string("pipe2: ") + std::strerror(errno));
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &previousInt);
    sigaction(SIGTERM, &action, &previousTerm);
    installed_ = true;
}

bool PosixStopSignals::Take(int timeoutMilliseconds) {
    if (signalPipe[0] < 0) return false;
    pollfd wait{signalPipe[0], POLLIN, 0};
    if (poll(&wait, 1, timeoutMilliseconds) <= 0) return false;
    char bytes[64];
    bool taken = false;
    while (read(signalPipe[0], bytes, sizeof bytes) > 0)
        taken = true;
    return taken;
}

} // namespace veltor::console
