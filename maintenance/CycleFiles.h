#pragma once
// The files of one company's backup-restore cycle beside its live database: their names, the
// exchange of the restored file for the live one, what a cycle cut short left behind, and the
// room the cycle needs before it stops the server.

#include "activity/ActivityLog.h"
#include "config/PathParts.h"
#include "ports/Clock.h"
#include "ports/DatabaseFiles.h"
#include "ports/FileSystem.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace veltor {

// YYYYMMDD-HHmm of a moment.
std::string FileStampOf(const LocalDateTime& moment);
// The side files of a database path: its folder (up to its last separator, as stored), its
// file name without extension in upper case (a to z only), the tag, the stamp and ".GDB".
std::string RestoredFileName(const std::string& databasePath, char separator, const std::string& fileStamp);
std::string KeptCopyFileName(const std::string& databasePath, char separator, const std::string& fileStamp);

// The length and a 64-bit hash of a file's bytes (FNV steps on four lanes of words), to tell
// whether a file changed between two readings; raises the file system's failure.
struct FileFingerprint {
    std::uint64_t size = 0;
    std::uint64_t hash = 0;
    bool operator==(const FileFingerprint&) const = default;
};
FileFingerprint FingerprintOf(IFileSystem& files, const std::string& path);

// Puts `restored` at the `live` name and keeps the live file as `kept`: `kept` becomes a
// second name of the live file, then `restored` is renamed over the live name in one step, so
// the live name holds one whole database or the other at every moment, also when the process
// dies between the two. A `kept` name that is taken, and a live or restored name that holds a
// link or anything but a file, fail before anything is touched; a failed rename takes the kept
// name away again (when that fails too, the kept name stays a second name of the live file,
// which the next cycle takes away). Raises std::runtime_error with the reason in the memo's
// words, and for a step the system refused OsError with the step and the system's message.
void SwapInRestored(IDatabaseFiles& files, const std::string& live, const std::string& restored,
                    const std::string& kept);

// What a cycle of `databasePath` cut short may have left in its folder: restored files of any
// stamp, and kept names that are still a second name of the live file (an exchange stopped
// between its two steps). Full paths, kept names first.
struct LeftOvers {
    std::vector<std::string> keptLinks;
    std::vector<std::string> restoredFiles;
};
LeftOvers FindLeftOvers(IDatabaseFiles& files, const std::string& databasePath, char separator);

// Takes away what FindLeftOvers finds, the kept names first (the live database stays as it is),
// each removal or failure a line of the month log and the memo. A folder that cannot be read
// holds nothing to take away.
void TakeAwayLeftOvers(IDatabaseFiles& files, ActivityLog& log, const std::string& databasePath, char separator);

// Room on the live database's volume for its restored copy: its size plus 5 % and 64 MiB (a
// restore may lay out the pages differently, and the live database keeps room to grow while
// both files exist). Room on the backup folder's volume for a backup as large as the database
// (a backup holds no index and no free page, so it is smaller). When both folders share a
// volume, it needs both.
inline constexpr std::uint64_t kRestoreFixedMargin = 64ULL * 1024 * 1024;
inline constexpr std::uint64_t kRestoreMarginDivisor = 20;
std::uint64_t RestoreRoomFor(std::uint64_t databaseSize);

// A volume without the room a cycle needs: the folder, the bytes needed and the bytes there.
struct MissingRoom {
    std::string folder;
    std::uint64_t needed = 0;
    std::uint64_t available = 0;
};
// Nothing when both volumes have room; raises when a size or a room cannot be read.
std::optional<MissingRoom> RoomForTheCycle(IDatabaseFiles& files, const std::string& databasePath,
                                           const std::string& backupFolder, char separator);
// The same for a restore of a backup of `backupSize` bytes into a new file in `folder`: room for
// a database as large as the larger of the live one (none when it is missing) and the backup.
std::optional<MissingRoom> RoomForTheRestore(IDatabaseFiles& files, const std::string& databasePath,
                                             std::uint64_t backupSize, const std::string& folder);

} // namespace veltor
