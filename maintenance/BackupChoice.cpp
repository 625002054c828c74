#include "maintenance/BackupChoice.h"

#include "backup/Retention.h"
#include "config/PathParts.h"

#include <algorithm>
#include <cstdio>

namespace veltor {
namespace {

const BackupRecord* RecordOf(const CompanyStatus* status, const std::string& name, char separator) {
    if (!status) return nullptr;
    const auto named = [&](const BackupRecord& record) { return FileNameOf(record.file, separator) == name; };
    for (const BackupRecord& record : status->recentBackups)
        if (named(record)) return &record;
    for (const auto* record : {&status->lastVerified, &status->lastGood})
        if (*record && named(**record)) return &**record;
    return nullptr;
}

} // namespace

const char* BackupKnownText(BackupKnown known) {
    switch (known) {
    case BackupKnown::Verified:
        return "verificado";
    case BackupKnown::NotVerified:
        return "sin verificar";
    case BackupKnown::FailedVerification:
        return "verificación fallida";
    case BackupKnown::Unknown:
        break;
    }
    return "desconocido";
}

std::vector<CompanyBackup> CompanyBackups(const std::vector<std::string>& names, const std::string& folder,
                                          const BackupNaming& naming, const std::string& id,
                                          const CompanyStatus* status, bool ignoreCase) {
    const char separator = folder.empty() ? '/' : folder.back();
    const std::vector<std::string> owners = OwnersOf(naming, id);
    std::vector<CompanyBackup> found;
    for (const std::string& name : names) {
        std::optional<long long> stamp;
        bool failed = false;
        for (const std::string& owner : owners) {
            if (!stamp) stamp = MadeFileStamp(name, naming.stem, kBackupFiles, ignoreCase, owner);
            if (!stamp && (stamp = MadeFileStamp(name, naming.stem, kFailedVerifications, ignoreCase, owner)))
                failed = true;
        }
        if (!stamp) continue;
        CompanyBackup backup;
        backup.file = folder + name;
        backup.stamp = *stamp;
        if (failed) {
            backup.known = BackupKnown::FailedVerification;
        } else if (const BackupRecord* record = RecordOf(status, name, separator)) {
            backup.known = !record->verified   ? BackupKnown::NotVerified
                           : *record->verified ? BackupKnown::Verified
                                               : BackupKnown::FailedVerification;
            backup.nextTransaction = record->nextTransaction;
            backup.at = record->at;
        }
        found.push_back(std::move(backup));
    }
    std::stable_sort(found.begin(), found.end(), [](const CompanyBackup& a, const CompanyBackup& b) {
        return a.stamp != b.stamp ? a.stamp > b.stamp : a.file > b.file;
    });
    return found;
}

const CompanyBackup* NewestGoodBackup(const std::vector<CompanyBackup>& backups, bool verificationAsked) {
    for (const CompanyBackup& backup : backups) {
        if (backup.known == BackupKnown::FailedVerification) continue;
        if (verificationAsked && backup.known != BackupKnown::Verified) continue;
        return &backup;
    }
    return nullptr;
}

std::string StampText(long long stamp) {
    char text[32];
    std::snprintf(text, sizeof text, "%02lld/%02lld/%04lld %02lld:%02lld", stamp / 10000 % 100, stamp / 1000000 % 100,
                  stamp / 100000000, stamp / 100 % 100, stamp % 100);
    return text;
}

std::string BackupListLine(const CompanyBackup& backup, char separator) {
    std::string size = "?";
    if (backup.bytes) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(*backup.bytes) / (1024.0 * 1024.0));
        size = text;
    }
    return "  " + FileNameOf(backup.file, separator) + "  " + StampText(backup.stamp) + "  " + size + "  " +
           BackupKnownText(backup.known);
}

} // namespace veltor
