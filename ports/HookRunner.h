#pragma once
// An administrator's script run with arguments and waited for, with a time bound.

#include <cstdint>
#include <string>
#include <vector>

namespace veltor {

struct HookRun {
    bool started = false;
    std::string refused;   // why a script that is there was not run (the maintenance script's rules)
    bool timedOut = false; // it was still running at the limit and was ended (with all it started)
    int exitCode = -1;     // when it ended by itself
    std::string firstLine; // the first line of what it wrote (standard output and error together)
};

class IHookRunner {
public:
    virtual ~IHookRunner() = default;
    // Runs `script` (a full path, or a name in the current directory) with `arguments`, started
    // without a shell, waits for it at most `limitSeconds`, and ends it and everything it started
    // when the limit passes. A missing script: started false, refused empty.
    virtual HookRun RunHook(const std::string& script, const std::vector<std::string>& arguments,
                            std::uint32_t limitSeconds) = 0;
};

} // namespace veltor
