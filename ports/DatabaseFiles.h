#pragma once
// The files beside a company's live database as the backup-restore cycle handles them: the
// restored copy, the kept copy, the room on their volume. Paths are texts in the platform's
// own form; every failing operation raises OsError with the system's message. Method names
// avoid those that the Windows headers define as macros (MoveFile, CreateHardLink, ...).

#include "ports/Clock.h"

#include <cstdint>
#include <string>
#include <vector>

namespace veltor {

// The room a new file can take in a folder, and the volume that holds the folder (two folders
// with the same volume share the room).
struct VolumeRoom {
    std::uint64_t available = 0; // bytes this process may still write
    std::uint64_t volume = 0;
};

// What a name leads to, the name itself rather than what a link at it points to.
enum class NameHolds { Nothing, RegularFile, Link, Other };

class IDatabaseFiles {
public:
    virtual ~IDatabaseFiles() = default;
    // Gives `restored` what the database server needs to open it in place of `live`: on
    // Linux the owner, group and mode of `live`, on Windows its owner and access list. Refuses
    // a link under either name and a `restored` with a second name.
    virtual void MatchAccess(const std::string& live, const std::string& restored) = 0;
    // Gives the file `existing` the second name `link` (a hard link: both names lead to the
    // same data). Fails when `link` exists.
    virtual void LinkFile(const std::string& existing, const std::string& link) = 0;
    // Gives `from` the name `to` in one step, replacing the file of that name, and writes the
    // change through to the disk. On a failure both names are as they were.
    virtual void RenameOver(const std::string& from, const std::string& to) = 0;
    // Removes a file; false when there was none.
    virtual bool RemoveFile(const std::string& path) = 0;
    // What is at `path`; a folder on the way that is missing counts as nothing.
    virtual NameHolds WhatIsAt(const std::string& path) = 0;
    // True when both names lead to the same file; false when either is missing.
    virtual bool SameFile(const std::string& a, const std::string& b) = 0;
    virtual std::uint64_t FileSize(const std::string& path) = 0;
    // When the file's content last changed, on the local clock.
    virtual LocalDateTime LastWritten(const std::string& path) = 0;
    // The room on the volume of `folder`.
    virtual VolumeRoom RoomIn(const std::string& folder) = 0;
    // The names (without folder) of the files in `folder`, in no particular order.
    virtual std::vector<std::string> FileNamesIn(const std::string& folder) = 0;
};

} // namespace veltor
