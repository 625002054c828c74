#pragma once
// The launch of the installation's maintenance script and the exchange of a company's
// database file for its restored copy, on Linux.

#include "ports/DatabaseFiles.h"
#include "ports/ShellLauncher.h"

#include <string>

namespace veltor::posix {

// The script is taken from the current directory and started without a shell, in a session
// of its own, with `argument` as its one argument, standard input on /dev/null and no
// descriptor of this process open in it but the standard output and error. It is started only
// when CheckScript lets it (otherwise the launch says why in `refused`), as a program or read by
// /bin/sh as CheckScript says, still with no shell parsing its path or its argument. Nobody
// waits for it: a thread of its own reaps it when it ends, so no zombie stays.
class PosixShellLauncher final : public IShellLauncher {
public:
    ScriptLaunch LaunchScript(const std::string& script, const std::string& argument) override;

    // The process id of the last script started (for tests); 0 before any.
    int lastProcessId() const { return lastProcessId_; }

private:
    int lastProcessId_ = 0;
};

// The files beside a company database through the system calls of the same names: a hard link,
// rename(2) followed by an fsync of the folder, statvfs for the room an ordinary user may take.
// MatchAccess gives the restored file the owner, group and permission bits of the live one.
class PosixDatabaseFiles final : public IDatabaseFiles {
public:
    void MatchAccess(const std::string& live, const std::string& restored) override;
    void LinkFile(const std::string& existing, const std::string& link) override;
    void RenameOver(const std::string& from, const std::string& to) override;
    bool RemoveFile(const std::string& path) override;
    NameHolds WhatIsAt(const std::string& path) override;
    bool SameFile(const std::string& a, const std::string& b) override;
    std::uint64_t FileSize(const std::string& path) override;
    LocalDateTime LastWritten(const std::string& path) override;
    VolumeRoom RoomIn(const std::string& folder) override;
    std::vector<std::string> FileNamesIn(const std::string& folder) override;
};

} // namespace veltor::posix
