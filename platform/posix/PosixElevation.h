#pragma once
#include "ports/Elevation.h"

namespace veltor::posix {

// Root is the administrator. The relaunch goes through pkexec, found on PATH, with the
// program's own executable (/proc/self/exe) and "-elevated".
class PosixElevation final : public IElevation {
public:
    bool IsAdministrator() const override;
    void RelaunchElevated() override;
};

} // namespace veltor::posix
