#pragma once
// The scheduled backup run: the companies due now are backed up one by one to .GBK files
// through the database server, every step written to the memo and the month log, and each
// completed backup stamped in its company row.

#include "activity/ActivityLog.h"
#include "backup/BackupFiles.h"
#include "backup/CompanyLines.h"
#include "catalogue/Catalogue.h"
#include "config/Global.h"
#include "dbserver/DatabaseState.h"
#include "ports/ActivityView.h"
#include "ports/Clock.h"
#include "ports/FileSystem.h"
#include "ports/FirebirdService.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace veltor {

class BackupOperations;
struct CompanyRef;

// What one run works with. Every reference outlives the run.
struct ScheduledBackupParts {
    TGlobal& global;
    catalogue::Catalogue& catalogue;
    fb::IFirebirdService& IBBackup;
    ActivityLog& log;
    IFileSystem& files;
    IClock& clock;
    IActivityView& view;
    // The backup timer's period, split at the window's first activation.
    const std::string& periodHours;
    const std::string& periodMinutes;
    // A server connection of its own for each backup beside the first when several run at
    // once (BACKUPSPARALELO); none: one after another, whatever the key says.
    std::function<std::unique_ptr<fb::IFirebirdService>()> moreServices = {};
};

class ScheduledBackup {
public:
    explicit ScheduledBackup(ScheduledBackupParts parts)
        : parts_(parts), catalogueFiles_(parts.catalogue, parts.global.rules()) {}

    // One run. Raises only when the due list cannot be read (the selection failed) or a
    // catalogue column cannot be added; a failed company is logged and the run goes on.
    void RunScheduledBackup();

    // Backs up the company of the current row of the due list; false when its backup or its
    // stamp failed.
    bool BackupCompany();

    // The companies of this run whose backup or stamp failed.
    int FailedCompanies() const { return failedCompanies_; }
    // Whether the run ended before its companies (the month log could not be opened).
    bool CutShort() const { return cutShort_; }
    // The companies of this run not done, in their order: "<code> - <name>: <why>".
    const std::vector<std::string>& NotDone() const { return notDone_; }

    // What is told each company's outcome (the status file, verification, retention); none
    // by default.
    void SetOperations(BackupOperations* operations) { operations_ = operations; }
    // Where each database's transaction counter is read before its backup, for the status
    // file (a restore tells from it how much work a backup would take away); none: not read.
    void SetDatabaseState(IDatabaseState* databases) { databases_ = databases; }

private:
    struct CompanyJob;

    std::string StampPrefix() const { return parts_.log.StampPrefix(); }
    CompanyRef CurrentCompany() const;
    CompanyJob JobOfCurrentRow();
    // The steps of one company's backup. The first two work only with the server and the
    // company's own files and lines, so that several companies can run them at once; the last
    // runs on the run's thread, one company after another.
    void StartCompany(CompanyJob& job, CompanyLines& lines) const;
    void BackUp(CompanyJob& job, CompanyLines& lines, fb::IFirebirdService& service,
                fb::IFirebirdService* verifyService) const;
    bool FinishCompany(CompanyJob& job, CompanyLines& lines);
    void Warn(CompanyJob& job, CompanyLines& lines, const std::string& message) const;
    // The due companies, `limit` at once.
    void BackUpAtOnce(int limit);
    // Removes what a run cut short left in the backup folder; the lines go to the memo now and
    // to the month log when it opens.
    void TakeAwayLeftOvers();

    ScheduledBackupParts parts_;
    CatalogueFiles catalogueFiles_;
    std::vector<std::string> leftOverLines_;
    std::string backupFolder_;
    BackupOperations* operations_ = nullptr;
    IDatabaseState* databases_ = nullptr;
    int failedCompanies_ = 0;
    bool cutShort_ = false;
    std::vector<std::string> notDone_;
};

} // namespace veltor
