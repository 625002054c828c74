#pragma once
// One backup-restore cycle against a real catalogue and the real server's backup and restore
// (or scripted ones that write their files, with `scriptedServices`), with the service control
// manager, the script launch, the file exchange, the questions to the
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
#include "tests/support/FakeFirebirdService.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/FakeRegionalFormats.h"

#include "tests/support/FakeMaintenance.h"
#include <deque>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace veltor::test {

// Answers the transaction readings in order (nullopt raises; 7 past the end), the marks with
// `pageSize`; asks the real database whether it is online (unless `online` answers) and,
// unless told to fail, whether it is read-only. Records the databases asked; the collection of the system tables' old
// versions runs `onCollect` and raises when `collectFails`.
class ScriptedDatabases : public IDatabaseState {
public:
    std::deque<std::optional<std::int64_t>> answers;
    std::vector<std::string> asked;
    std::vector<std::string> collected;
    bool collectFails = false;
    std::function<void()> onCollect;
    void CollectSystemGarbage(const std::string& database) override {
        collected.push_back(database);
        if (onCollect) onCollect();
        if (collectFails) throw fb::FirebirdError("lock time-out on wait transaction");
    }
    std::vector<std::string> askedOnline;
    std::vector<std::string> askedReadOnly;
    bool readOnlyFails = false;
    std::string noLocalRestore;
    std::uint32_t pageSize = 8192;
    std::string WhyNoLocalRestore() const override { return noLocalRestore; }
    std::optional<bool> online;
    bool IsOnline(const std::string& database) override {
        askedOnline.push_back(database);
        return online ? *online : real_.IsOnline(database);
    }
    bool IsReadOnly(const std::string& database) override {
        askedReadOnly.push_back(database);
        if (readOnlyFails) throw fb::FirebirdError("Unable to complete network request to host \"localhost\".");
        return real_.IsReadOnly(database);
    }
    std::int64_t NextTransaction(const std::string& database) override {
        asked.push_back(database);
        std::optional<std::int64_t> answer = answers.empty() ? std::optional<std::int64_t>(7) : answers.front();
        if (!answers.empty()) answers.pop_front();
        if (!answer) throw fb::FirebirdError("I/O error during \"open\" operation for file \"" + database + "\"");
        return *answer;
    }
    DatabaseMark Mark(const std::string& database) override { return {NextTransaction(database), pageSize}; }

private:
    FirebirdDatabaseState real_{*fb::LoadClientApi(nullptr)};
};

// The recorded memo, with a hook run after each line is appended.
class HookedActivityView : public FakeActivityView {
public:
    std::function<void(const std::string&)> onMemoLine;
    void AppendMemoLines(const std::vector<std::string>& lines) override {
        FakeActivityView::AppendMemoLines(lines);
        if (onMemoLine)
            for (const std::string& line : lines)
                onMemoLine(line);
    }
};

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
    FakeFirebirdService scriptedBackup;
    FakeFirebirdService scriptedRestore;
    bool scriptedServices = false;
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
