#pragma once
// One backup-restore cycle against a real catalogue and the real server's backup and restore,
// with the service control manager, the script launch, the file exchange, the questions to the
// databases and the clock chosen by each test; the memo is recorded.

#include "activity/ActivityLog.h"
#include "backup/Operations.h"
#include "catalogue/Catalogue.h"
#include "config/Global.h"
#include "dbserver/FirebirdService.h"
#include "dbserver/ServiceControl.h"
#include "maintenance/BackupRestoreCycle.h"
#include "maintenance/ServiceMemo.h"
#include "platform/posix/PosixPlatform.h"
#include "ports/Errors.h"
#include "tests/support/CatalogueFixture.h"
#include "tests/support/FakeActivityView.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/FakeRegionalFormats.h"

#include "tests/support/FakeMaintenance.h"

#include <string>
#include <vector>

namespace veltor::test {

struct CycleHarness {
    CycleHarness(IServiceManager& manager, IShellLauncher& shell, IDatabaseFiles& databaseFiles,
                 IDatabaseState& databaseState, IClock& clock);

    CatalogueFixture catalogueFiles;
    posix::PosixFileSystem files;
    FakeRegionalFormats regional;
    FakeMessageBox messages;
    HookedActivityView view;
    IClock& clock;
    TGlobal global;
    const fb::ClientApi& api;
    catalogue::Catalogue catalogue;
    fb::FirebirdService backup;
    fb::FirebirdService restore;
    ActivityLog log;
    ActivityLogServiceMemo serviceMemo{log};
    ServiceControl services;
    IShellLauncher& shell;
    IDatabaseFiles& databaseFiles;
    IDatabaseState& databases;
    bool restoreNow = true;
    // The status file and the kept copies' retention, as the program runs the cycle.
    fb::FirebirdService verifyService{api};
    FirebirdRestoredDatabase restoredDatabases{api};
    BackupOperations operations{{global, catalogue, log, files, clock, view, verifyService, restoredDatabases}};
    // The folder a run starts in, where ADMINBD.inf lies; the catalogue's folder when empty.
    std::string installationFolder;

    // A catalogue with one company flagged for the cycle, its database of `rows` rows named
    // `fileName` in the catalogue's folder; returns the database path.
    std::string OneCompany(const std::string& fileName = "emp1.fdb", int rows = 50);
    // The same with a database the test made itself at `path`.
    void OneCompanyAt(const std::string& path);
    // Adds `lines` (KEY=value) to ADMINBD.inf.
    void Configure(const std::string& lines);
    // The status file of the backup folder.
    StatusBook Book() const;
    // Runs once from the catalogue's folder, where ADMINBD.inf lies.
    // Runs one cycle; the companies it counts as failed.
    int Run();

    // The lines of the month log of the clock's month (CR LF taken off).
    std::vector<std::string> LogLines() const;
    // The memo without the output lines of the backup and restore services (lines that
    // begin with two blanks and hold more).
    std::vector<std::string> MemoSteps() const;
    bool MemoHas(const std::string& line) const;
    std::string Stamp(const std::string& column) const;
};

} // namespace veltor::test
