#pragma once
// The database server's administrator, as every connection of the program signs in: the
// catalogue, the company databases and the service manager. The password is fixed for the
// installation.

#include <string>
#include <vector>

namespace veltor {

inline constexpr const char* kAdministratorUser = "SYSDBA";
inline constexpr const char* kAdministratorPassword = "quillbank";

// The service connection's parameters: "user_name=SYSDBA", "password=" + the password.
inline std::vector<std::string> AdministratorParameters() {
    return {std::string("user_name=") + kAdministratorUser, std::string("password=") + kAdministratorPassword};
}

} // namespace veltor
