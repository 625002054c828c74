#pragma once
// The server text of ADMINBD.inf (SERVIDOR) as the client library reads it in front of a
// database path: the machine, then after a slash the port its server listens on, as a number
// or as a name of the services file ("localhost", "localhost/3050", "servidor01/gds_db",
// "[::1]/3051"). The connections send the text as it is written; the service control takes the
// machine from it and the cycle the port.

#include <string>

namespace veltor {

struct ServerAddress {
    std::string host; // an IPv6 address without its brackets
    std::string port; // as written; empty when the text names none
};
ServerAddress SplitServerText(const std::string& server);

// The port of the default instance's server, whose service the cycle stops and starts: the one
// Firebird listens on unless its configuration says otherwise, which this program does not read.
inline constexpr unsigned kDefaultInstancePort = 3050;

// Whether the text reaches the default instance's server on its machine: no port (or an empty
// one), kDefaultInstancePort as a number, or that port's name in the services file, gds_db.
bool AtDefaultInstancePort(const ServerAddress& address);

} // namespace veltor
