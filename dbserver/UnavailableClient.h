#pragma once
// A client-library table for a machine where the Firebird client library cannot be loaded:
// every call fails with an error status whose text says why, so every Firebird operation
// of the program fails with that clear error while the program itself keeps running.

#include "dbserver/FbClientApi.h"

#include <string>

namespace veltor::fb {

const ClientApi& UnavailableClientApi(const std::string& reason);

} // namespace veltor::fb
