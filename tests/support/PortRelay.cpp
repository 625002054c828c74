#include "tests/support/PortRelay.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace veltor::test {
namespace {

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int ConnectTo(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = Loopback(port);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

// Writes all of `size` bytes; false when the other end has gone.
bool SendAll(int fd, const char* data, ssize_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, static_cast<std::size_t>(size), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= n;
    }
    return true;
}

} // namespace

PortRelay::PortRelay(int targetPort) : target_(targetPort) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 16) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::pipe2(wake_, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "cannot open a relay port: errno " << errno;
        return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

PortRelay::~PortRelay() {
    if (thread_.joinable()) {
        const char stop = 0;
        if (::write(wake_[1], &stop, 1) != 1) ADD_FAILURE() << "cannot stop the relay";
        thread_.join();
    }
    for (const int fd : {listener_, wake_[0], wake_[1]})
        if (fd >= 0) ::close(fd);
}

void PortRelay::Serve() {
    std::vector<std::pair<int, int>> links; // client, server
    for (;;) {
        std::vector<pollfd> watched{{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
        for (const auto& [client, server] : links) {
            watched.push_back({client, POLLIN, 0});
            watched.push_back({server, POLLIN, 0});
        }
        if (::poll(watched.data(), watched.size(), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (watched[0].revents != 0) break;
        const std::size_t polled = links.size();
        if ((watched[1].revents & POLLIN) != 0) {
            const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            const int server = client >= 0 ? ConnectTo(target_) : -1;
            if (server >= 0)
                links.emplace_back(client, server);
            else if (client >= 0)
                ::close(client);
        }
        std::vector<std::pair<int, int>> open;
        for (std::size_t i = 0; i < links.size(); ++i) {
            bool alive = true;
            for (int side = 0; side < 2 && alive && i < polled; ++side) {
                if (watched[2 + 2 * i + side].revents == 0) continue;
                const int from = side == 0 ? links[i].first : links[i].second;
                const int to = side == 0 ? links[i].second : links[i].first;
                char buffer[16384];
                const ssize_t n = ::recv(from, buffer, sizeof buffer, 0);
                alive = n > 0 ? SendAll(to, buffer, n) : n < 0 && errno == EINTR;
            }
            if (alive) {
                open.push_back(links[i]);
            } else {
                ::close(links[i].first);
                ::close(links[i].second);
            }
        }
        links = std::move(open);
    }
    for (const auto& [client, server] : links) {
        ::close(client);
        ::close(server);
    }
}

} // namespace veltor::test
