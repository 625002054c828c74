#pragma once
// The hooks of the administrator's on Linux.

#include "ports/HookRunner.h"

namespace veltor::posix {

// The script passes the maintenance script's rules (CheckScript) and is started the same way
// (Spawn, without a shell, /bin/sh reading a script that does not run by itself), with its
// standard output and error on one pipe, in a session and process group of its own. When it is
// still running at the limit, its group gets SIGTERM, and SIGKILL 2 s later. When it ends by
// itself, what it left running in its group is killed. It is always reaped.
class PosixHookRunner final : public IHookRunner {
public:
    HookRun RunHook(const std::string& script, const std::vector<std::string>& arguments,
                    std::uint32_t limitSeconds) override;

    // The process id of the last hook started (for tests); 0 before any.
    int lastProcessId() const { return lastProcessId_; }

private:
    int lastProcessId_ = 0;
};

} // namespace veltor::posix
