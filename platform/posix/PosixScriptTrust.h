#pragma once
// Whether a script of the administrator's may be run by this process, which runs as root, for
// the maintenance script's launch and the hooks alike.

#include <string>
#include <vector>

namespace veltor::posix {

struct TrustedScript {
    // What to start: the script's path ("./name" for a name in the current directory), after
    // "/bin/sh" when the script does not run by itself. Empty when it is not to be run.
    std::vector<std::string> command;
    // Why a script that is there must not be run; empty when it may, or when it is missing.
    std::string refused;
};

// `script` is a path, or a name looked up in the current directory. It is run only when it is a
// regular file (not a link) and it, its folder and every folder above belong to root (or to the
// user this process runs as) and nobody else can write them (a folder above may be writable
// with the sticky bit, as /tmp): anybody who could write one of them could have it run what they
// want. A script with execute permission that starts with "#!" (or a program) runs by itself;
// any other script file is read by /bin/sh as its script.
TrustedScript CheckScript(const std::string& script);

} // namespace veltor::posix
