#pragma once
// One scheduled run against the real server, over the real POSIX adapters, with the memo
// and the error boxes recorded.

#include "activity/ActivityLog.h"
#include "backup/ScheduledBackup.h"
#include "catalogue/Catalogue.h"
#include "config/Global.h"
#include "dbserver/FirebirdService.h"
#include "platform/posix/PosixPlatform.h"
#include "tests/support/CatalogueFixture.h"
#include "tests/support/FakeActivityView.h"
#include "tests/support/FakeMessageBox.h"

#include <string>
#include <vector>

namespace veltor::test {

struct ScheduledRunHarness {
    ScheduledRunHarness();

    CatalogueFixture catalogueFiles;
    // The Linux rules, with the installation's data folder inside the scratch folder.
    ConfigurationRules rules;
    posix::PosixFileSystem files{posix::kDatabaseServerGroup};
    posix::PosixClock clock;
    posix::PosixRegionalFormats regional;
    FakeMessageBox messages;
    FakeActivityView view;
    TGlobal global;
    const fb::ClientApi& api;
    catalogue::Catalogue catalogue;
    fb::FirebirdService backup;
    ActivityLog log;
    std::string periodHours = "00";
    std::string periodMinutes = "30";

    // Runs once from the catalogue's folder, where ADMINBD.inf lies.
    void Run();
    // The month log of this month in the backup folder.
    std::string MonthLogPath() const;
    // The names of the .GBK files in the backup folder, sorted.
    std::vector<std::string> BackupFiles() const;
    // True when some memo line ends with `suffix`.
    bool MemoHasLineEndingWith(const std::string& suffix) const;
};

} // namespace veltor::test
