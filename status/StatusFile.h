#pragma once
// The status file: one JSON file in the backup folder that says, for every company of the
// catalogue, how its last backup attempt ended, its last good backup, its last verified backup
// and its last backup-restore cycle. The runs rewrite it whole after each company, through a
// temporary name, so a reader never sees a part of it; a company leaves it when it leaves the
// catalogue.

#include "ports/FileSystem.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace veltor {

inline constexpr const char* kStatusFileName = "Estado Backup Veltor.json";

// Outcomes of a backup attempt.
inline constexpr const char* kBackupDone = "done";
inline constexpr const char* kBackupFailed = "failed";
inline constexpr const char* kBackupSkipped = "skipped";
// Outcomes of a backup-restore cycle.
inline constexpr const char* kCycleSwapped = "swapped";
inline constexpr const char* kCycleRefused = "refused";
inline constexpr const char* kCycleGivenUp = "given up";
inline constexpr const char* kCycleFailed = "failed";
// Outcomes of a restore.
inline constexpr const char* kRestoreDone = "done";
inline constexpr const char* kRestoreFailed = "failed";

// Outcomes of a backup's copy into the second folder.
inline constexpr const char* kCopyDone = "done";
inline constexpr const char* kCopyFailed = "failed";

// How many of a company's good backups the file keeps, newest first.
inline constexpr std::size_t kRecentBackups = 20;

struct BackupRecord {
    std::string at;      // start, YYYY-MM-DDTHH:MM:SS of the local clock
    std::string outcome; // kBackupDone, kBackupFailed or kBackupSkipped
    std::string message; // why it failed or was skipped
    std::string file;    // the .GBK
    std::optional<std::uint64_t> bytes;
    std::optional<double> seconds;
    // Nothing when the backup was not verified; false with `verification` saying why.
    std::optional<bool> verified;
    std::string verification;
    // The database's transaction counter, read through the server just before the backup.
    std::optional<std::int64_t> nextTransaction;
};

struct CycleRecord {
    std::string at;
    std::string outcome; // kCycleSwapped, kCycleRefused, kCycleGivenUp or kCycleFailed
    std::string message;
};

struct RestoreRecord {
    std::string at;
    std::string outcome; // kRestoreDone or kRestoreFailed
    std::string message;
    std::string file;      // the backup restored
    std::string target;    // the database written
    bool replaced = false; // the live database was put aside for it
};

struct CopyRecord {
    std::string at;
    std::string outcome; // kCopyDone or kCopyFailed
    std::string message;
    std::string file; // the backup
    std::string copy; // the checked copy, once done
};

struct CompanyStatus {
    std::string id; // EMPRESAID
    std::string code;
    std::string name;
    std::optional<BackupRecord> lastAttempt;
    std::optional<BackupRecord> lastGood;     // the last attempt done (and verified, when it was checked)
    std::optional<BackupRecord> lastVerified; // the last backup whose verification passed
    std::optional<CycleRecord> lastCycle;
    std::optional<RestoreRecord> lastRestore;
    std::optional<CopyRecord> lastCopy;        // the last copy tried into the second folder
    std::optional<CopyRecord> lastCheckedCopy; // the last one done
    // The last good backups, newest first, at most kRecentBackups.
    std::vector<BackupRecord> recentBackups;
};

class StatusBook {
public:
    // The status file of a backup folder (which ends with its separator).
    static std::string PathIn(const std::string& backupFolder) { return backupFolder + kStatusFileName; }

    // Reads the file's text; nothing when it is not a status file this program wrote.
    static std::optional<StatusBook> FromJson(std::string_view text);
    // The whole file, companies in the order of their codes.
    std::string ToJson(const std::string& updatedAt) const;

    // The entry of a company, added when missing; its code and name are brought up to date.
    CompanyStatus& Company(const std::string& id, const std::string& code, const std::string& name);
    const CompanyStatus* Find(const std::string& id) const;
    // Removes every company whose id is not in `ids`.
    void KeepOnly(const std::set<std::string>& ids);

    const std::vector<CompanyStatus>& companies() const { return companies_; }
    const std::string& updatedAt() const { return updatedAt_; }

private:
    std::vector<CompanyStatus> companies_;
    std::map<std::string, std::size_t> index_; // id -> position in companies_
    std::string updatedAt_;
};

// The status file of a folder; an empty book when it is missing, unreadable or not ours
// (`problem`, when given, then says which, and stays empty for a book that was read). Never
// raises.
StatusBook LoadStatusBook(IFileSystem& files, const std::string& path, std::string* problem = nullptr);

// Gives `path` the content `bytes` in one step: the bytes go to a new file under `path` +
// ".tmp", which then takes the place of `path`. A reader sees the old content or the new one,
// never a part; a link at either name is replaced as a name, never written through. Raises on
// a failure, which leaves `path` as it was and no temporary file behind.
void ReplaceFileContent(IFileSystem& files, const std::string& path, std::string_view bytes);

} // namespace veltor
