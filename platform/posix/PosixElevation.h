#pragma once
#include "ports/Elevation.h"

namespace veltor::posix {

// Root is the administrator. The relaunch goes through pkexec, found on PATH, with
// --keep-cwd, the program's own executable (/proc/self/exe), "-elevated" and the options of
// this instance; this process waits for it. A prompt that was dismissed or refused (pkexec's
// 126 and 127) raises the system error of EACCES.
class PosixElevation final : public IElevation {
public:
    bool IsAdministrator() const override;
    int RelaunchElevated(const std::vector<std::string>& arguments) override;
};

} // namespace veltor::posix
