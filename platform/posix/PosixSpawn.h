#pragma once
// Starting a program as a child process without a shell: its arguments go to it as they
// are, standard input comes from /dev/null, and no descriptor of this process but the
// standard output and error (or neither, or a pipe in their place) stays open in it, so that a lock held through a
// descriptor, or a pipe of our parent, is never kept alive by the child or by a daemon it
// leaves behind. Signals are as a new program expects them: nothing blocked, the usual
// actions for the ones this process may handle. Our own wrapper over posix_spawn: process
// libraries do not give this control over the descriptors a child keeps.

#include <string>
#include <vector>

#include <sys/types.h>

namespace veltor::posix {

struct SpawnOptions {
    // Standard output and error to /dev/null as well.
    bool silent = false;
    // In a session of its own, so that closing our terminal does not end it; it is then the
    // leader of a process group of its own, whose id is its process id.
    bool ownSession = false;
    // A descriptor (the write end of a pipe) that becomes the child's standard output and error;
    // -1: they stay ours (or /dev/null when silent).
    int output = -1;
    // The environment as NAME=value texts; empty: this process's own.
    std::vector<std::string> environment;
};

// The child's process id, or -1 when it could not be started (errno tells why).
pid_t Spawn(const std::vector<std::string>& arguments, const SpawnOptions& options);

} // namespace veltor::posix
