#pragma once
#include <string>

namespace veltor {

// Starts an installation script as a process of its own, in a shown window where the
// platform has windows, and does not wait for it. The script is looked up in the current
// directory; `argument` is passed as its one argument, never interpreted by a shell.
class IShellLauncher {
public:
    virtual ~IShellLauncher() = default;
    // False when the script could not be started; nobody is told.
    virtual bool LaunchScript(const std::string& script, const std::string& argument) = 0;
};

} // namespace veltor
