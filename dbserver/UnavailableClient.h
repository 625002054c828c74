#pragma once
// A client-library table for a machine where the Firebird client library cannot be loaded:
// every call fails with an error status whose text says why, so every Firebird operation
// of the program fails with that clear error while the program itself keeps running.

#include "dbserver/FbClientApi.h"

#include <string>

namespace veltor::fb {

const ClientApi& UnavailableClientApi(const std::string& reason);

// The client library of this platform (LoadClientApi), or the unavailable table with the
// reason when it cannot be loaded. Called by the programs' composition roots.
inline const ClientApi& LoadClientApiOrUnavailable() {
    const char* why = nullptr;
    if (const ClientApi* api = LoadClientApi(&why)) return *api;
    return UnavailableClientApi(why ? why : "");
}

} // namespace veltor::fb
