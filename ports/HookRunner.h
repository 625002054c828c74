#pragma once
// An administrator's script run with arguments and waited for, with a time bound.

#include <cstdint>
#include <string>
#include <vector>

namespace veltor {

// What became of a hook: a script of the administrator's run with arguments and waited for.
struct HookRun {
    bool started = false;
    // Why a script that is there was not run (the same rules as ScriptLaunch's); empty when it
    // ran, and when it is missing or could not be started.
    std::string refused;
    // It was still running at the limit and was ended, with everything it started.
    bool timedOut = false;
    // Its exit code when it ended by itself (on Linux 128 + the signal that ended it); -1 otherwise.
    int exitCode = -1;
    // The first line of what it wrote (standard output and error together), at most 200 bytes,
    // without the line end.
    std::string firstLine;
};

class IHookRunner {
public:
    virtual ~IHookRunner() = default;
    // Runs `script` (a full path, or a name in the current directory) with `arguments`, started
    // without a shell (no argument is interpreted), waits for it at most `limitSeconds`, and ends it and everything it
    // started when the limit passes. A missing script: started false, refused empty.
    virtual HookRun RunHook(const std::string& script, const std::vector<std::string>& arguments,
                            std::uint32_t limitSeconds) = 0;
};

} // namespace veltor
