#pragma once
// A failure reported by the Firebird client library or the server, or a check of our own
// made before anything is sent to the server.

#include "dbserver/FbClientApi.h"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace veltor::fb {

class FirebirdError : public std::runtime_error {
public:
    FirebirdError(const std::string& message, std::int32_t sqlCode = 0, std::intptr_t engineCode = 0)
        : std::runtime_error(message), sqlCode_(sqlCode), engineCode_(engineCode) {}

    const char* message() const noexcept { return what(); }
    // isc_sqlcode of the status vector; 0 for a check of our own.
    std::int32_t sqlCode() const noexcept { return sqlCode_; }
    // The first Firebird error code of the status vector; 0 for a check of our own.
    std::intptr_t engineCode() const noexcept { return engineCode_; }
    // No permission (SQL code -551) is a kind of its own; callers treat it like the rest.
    bool isPermissionDenied() const noexcept { return sqlCode_ == -551; }

private:
    std::int32_t sqlCode_;
    std::intptr_t engineCode_;
};

// The failure an error status vector stands for: the texts of the vector joined by CR LF
// (no line end is added after a text that already ends in LF), without a final period;
// its SQL code and first engine code.
FirebirdError ErrorFromStatus(const ClientApi& api, const Status* status);

// True when the status vector holds an error.
inline bool IsError(const Status* status) {
    return status[0] == 1 && status[1] != 0;
}

} // namespace veltor::fb
