#include "dbserver/ServerAddress.h"

namespace veltor {

ServerAddress SplitServerText(const std::string& server) {
    std::string::size_type slash;
    ServerAddress address;
    if (!server.empty() && server.front() == '[' && server.find(']') != std::string::npos) {
        const std::string::size_type close = server.find(']');
        address.host = server.substr(1, close - 1);
        slash = server.find('/', close);
    } else {
        slash = server.find('/');
        address.host = server.substr(0, slash);
    }
    if (slash != std::string::npos) address.port = server.substr(slash + 1);
    return address;
}

bool AtDefaultInstancePort(const ServerAddress& address) {
    const std::string& port = address.port;
    if (port.empty()) return true;
    std::string lower;
    for (const char c : port)
        lower += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    if (lower == "gds_db") return true;
    unsigned number = 0;
    for (const char c : port) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + static_cast<unsigned>(c - '0');
        if (number > 65535) return false;
    }
    return number == kDefaultInstancePort;
}

} // namespace veltor
