#pragma once
#include <string>

namespace veltor {

// What became of a script launch.
struct ScriptLaunch {
    bool started = false;
    // Why a script that is there was not started: it, or the folder it is in, could have been
    // changed by somebody other than the administrator. Empty when it started, and when it is
    // missing or could not be started (nobody is told of those).
    std::string refused;
};

// Starts an installation script as a process of its own, in a shown window where the
// platform has windows, and does not wait for it. The script is looked up in the current
// directory; `argument` is passed as its one argument, never interpreted by a shell.
class IShellLauncher {
public:
    virtual ~IShellLauncher() = default;
    virtual ScriptLaunch LaunchScript(const std::string& script, const std::string& argument) = 0;
};

} // namespace veltor
