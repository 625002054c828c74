#pragma once
// A company's backups as a restore chooses among them: the names the program makes for that
// company in the backup folder (by the rules retention counts them with), newest first, each
// with what the status file knows of it.

#include "backup/BackupFiles.h"
#include "status/StatusFile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace veltor {

enum class BackupKnown {
    Verified,           // its verification passed
    NotVerified,        // made while backups were not verified
    FailedVerification, // kept under the name of a backup that failed its verification
    Unknown,            // the status file holds no record of it (a cycle's backup, an old one)
};
// "verificado", "sin verificar", "verificación fallida", "desconocido".
const char* BackupKnownText(BackupKnown known);

struct CompanyBackup {
    std::string file;    // the full path
    long long stamp = 0; // YYYYMMDDHHmm of its name
    std::optional<std::uint64_t> bytes;
    BackupKnown known = BackupKnown::Unknown;
    // The live database's transaction counter as the backup began, when it was read.
    std::optional<std::int64_t> nextTransaction;
    std::string at; // when it began, as the status file says (empty when unknown)
};

// The backups of the company `id`, named as `naming` says, among the `names` of `folder` (which
// ends with its separator), newest first. Names with the company's id are its own; names
// without one only while no other database shares the stem. `status` is what the status file
// holds of the company, when anything.
std::vector<CompanyBackup> CompanyBackups(const std::vector<std::string>& names, const std::string& folder,
                                          const BackupNaming& naming, const std::string& id,
                                          const CompanyStatus* status, bool ignoreCase);

// The backup a restore takes when none is named: the newest verified one when the backups are
// verified, otherwise the newest one that did not fail its verification; nothing when none is.
const CompanyBackup* NewestGoodBackup(const std::vector<CompanyBackup>& backups, bool verificationAsked);

// DD/MM/YYYY HH:MM of a YYYYMMDDHHmm stamp.
std::string StampText(long long stamp);

// One line of the list: the name, the date and minute, the size and what is known of it.
std::string BackupListLine(const CompanyBackup& backup, char separator);

} // namespace veltor
