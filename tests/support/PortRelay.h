#pragma once
// A second port of this machine for the one Firebird server of the tests: every connection made
// to it goes on to the server's port, as a second server of an installation would answer on a
// port of its own.

#include <thread>

namespace veltor::test {

class PortRelay {
public:
    // Listens on a free port of 127.0.0.1; fails the test when it cannot.
    explicit PortRelay(int targetPort);
    ~PortRelay(); // closes every connection it passes on
    PortRelay(const PortRelay&) = delete;
    PortRelay& operator=(const PortRelay&) = delete;

    int port() const { return port_; }

private:
    void Serve();

    int target_;
    int port_ = 0;
    int listener_ = -1;
    int wake_[2] = {-1, -1};
    std::thread thread_;
};

} // namespace veltor::test
