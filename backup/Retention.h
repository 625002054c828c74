#pragma once
// Retention of old files, asked for in ADMINBD.inf: the newest N backups of a company in the
// backup folder, and the newest N kept copies beside a database. Only names the program itself
// makes for that company are ever considered: its stem, a date, a minute and the extension,
// nothing before and nothing after.

#include "activity/ActivityLog.h"
#include "ports/FileSystem.h"

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace veltor {

// What a retention key asks for: how many files to keep, when the value is a whole number
// above zero; `unusable` when the key is there with any other value (nothing is removed then).
struct RetentionSetting {
    std::optional<long long> keep;
    bool unusable = false;
};
RetentionSetting ReadRetentionSetting(const std::optional<std::string>& value);

// A kind of file the program makes: stem + tag + YYYYMMDD + "-" + HHmm + owner + extension, where
// the owner is empty or, for backups of a stem that two databases share, "-E" + EMPRESAID.
struct MadeFileKind {
    std::string_view tag;       // "-" for backups, "-Copia-" for kept copies
    std::string_view extension; // ".GBK", ".GDB"
};
inline constexpr MadeFileKind kBackupFiles{"-", ".GBK"};
inline constexpr MadeFileKind kKeptCopies{"-Copia-", ".GDB"};
// A backup that failed its verification, kept for a look under its own name.
inline constexpr MadeFileKind kFailedVerifications{"-", "-VerificacionFallida.GBK"};

// The moment in a name made for `stem` and `owner`, as YYYYMMDDHHmm; nothing for any other name.
// With `ignoreCase` (file systems that ignore letter case) the stem, tag, owner and extension
// match in any case of the letters a to z.
std::optional<long long> MadeFileStamp(std::string_view name, std::string_view stem, const MadeFileKind& kind,
                                       bool ignoreCase, std::string_view owner = {});

// Of the names in a folder, those made for `stem` with one of `owners` beyond the newest `keep`,
// oldest first. The names in `protect` stay whatever their age (and count among the `keep` when
// they are new enough).
std::vector<std::string> FilesBeyondKeep(const std::vector<std::string>& names, std::string_view stem,
                                         const MadeFileKind& kind, bool ignoreCase, long long keep,
                                         const std::set<std::string>& protect,
                                         const std::vector<std::string>& owners = {std::string()});

// Removes in `folder` (which ends with its separator) the files named in `names`; every
// removal is a line of the log and the memo (`removedLine` and the path), and a file that cannot
// be removed is written down and left.
// The same line to the month log, where it can be written, and to the memo.
void WriteLogAndMemo(ActivityLog& log, const std::string& line);

void RemoveMadeFiles(IFileSystem& files, ActivityLog& log, const std::string& folder,
                     const std::vector<std::string>& names, const std::string& removedLine);

// Whether `name` is a backup name the program makes, of any stem and owner.
bool IsMadeBackupName(std::string_view name, bool ignoreCase);
// Whether `name` is what a run cut short leaves in the backup folder: a backup's temporary name
// or a verification's scratch database, of a backup name the program makes.
bool IsLeftOverName(std::string_view name, bool ignoreCase);

// Whether two stems name the same files.
bool SameStem(std::string_view a, std::string_view b, bool ignoreCase);

} // namespace veltor
