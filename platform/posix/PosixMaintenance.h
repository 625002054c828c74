#pragma once
// The launch of the installation's maintenance script and the exchange of a company's
// database file for its restored copy, on Linux.

#include "ports/DatabaseFiles.h"
#include "ports/ShellLauncher.h"

#include <functional>
#include <string>

namespace veltor::posix {

// The script is taken from the current directory and started without a shell, in a session
// of its own, with `argument` as its one argument, standard input on /dev/null and no
// descriptor of this process open in it but the standard output and error. A script with
// execute permission that starts with "#!" (or a program) runs by itself; any other script
// file is read by /bin/sh as its script, still with no shell parsing its path or its
// argument. Nobody waits for it: a thread of its own reaps it when it ends, so no zombie stays.
// It runs as root, so it is started only when it is a regular file (not a link) and it, its
// folder and every folder above belong to root (or to the user this process runs as) and
// nobody else can write them (a folder above may be writable with the sticky bit, as /tmp);
// otherwise the launch says why in `refused`.
class PosixShellLauncher final : public IShellLauncher {
public:
    ScriptLaunch LaunchScript(const std::string& script, const std::string& argument) override;

    // The process id of the last script started (for tests); 0 before any.
    int lastProcessId() const { return lastProcessId_; }

private:
    int lastProcessId_ = 0;
};

// MatchAccess gives the restored file the owner, group and permission bits of the live one.
// SwapInRestored makes the kept name a second link of the live file, then renames the restored
// file over the live name, so the live name always holds one database or the other, whatever
// happens between the two steps; then it writes the folder out. A kept name that exists
// already as another file, or a restored file that is missing, fails before anything is
// touched; a kept name that is a link of the live file (an exchange cut short between its
// steps) counts as the first step done. A failed rename removes a kept link it made. Failures raise OsError with the
// system's message.
class PosixDatabaseFiles final : public IDatabaseFiles {
public:
    void MatchAccess(const std::string& live, const std::string& restored) override;
    void SwapInRestored(const std::string& live, const std::string& restored, const std::string& kept) override;

    // Runs between the two steps of the swap, when set (tests use it to stop the process there).
    std::function<void()> betweenSteps;
};

} // namespace veltor::posix
