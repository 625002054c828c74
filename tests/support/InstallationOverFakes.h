#pragma once
// One installation over fakes, as the cycle and the restore see it: ADMINBD.inf in the current
// folder naming the catalogue /srv/veltor/ADMIN.FDB on localhost and the backup folder
// kBackups (which exists), Linux's rules for values and paths, the server's service, the
// database files and the status file.

#include "backup/Operations.h"
#include "config/Global.h"
#include "dbserver/ServiceControl.h"
#include "maintenance/ServiceMemo.h"
#include "tests/support/FakeActivityView.h"
#include "tests/support/FakeCatalogue.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeFileSystem.h"
#include "tests/support/FakeFirebirdService.h"
#include "tests/support/FakeMaintenance.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/FakeRegionalFormats.h"
#include "tests/support/FakeRestoredDatabase.h"
#include "tests/support/FakeServiceManager.h"
#include "tests/support/ScriptedServer.h"

#include <string>

namespace veltor::test {

struct InstallationOverFakes {
    static constexpr const char* kFolder = "/srv/veltor/";
    static constexpr const char* kBackups = "/srv/veltor/Backups/";

    InstallationOverFakes() {
        files.AddFile("ADMINBD.inf", "[ADMINBD]\r\nRUTABD=/srv/veltor/ADMIN.FDB\r\nSERVIDOR=localhost\r\nRUTABACKUP=" +
                                         std::string(kBackups) + "\r\nTIMERBACKUPLICENCE=00:30\r\n");
        files.directories.insert(kBackups);
    }

    FakeFileSystem files;
    FakeRegionalFormats regional;
    FakeMessageBox messages;
    HookedActivityView view;
    FakeClock clock;
    TGlobal global{files, messages, {.upperCaseValues = false, .pathSeparator = '/'}};
    FakeCatalogue catalogue;
    ActivityLog log{files, clock, regional, view};
    ActivityLogServiceMemo serviceMemo{log};
    FakeServiceManager manager;
    ScriptedServer server{manager};
    ServiceControl services{manager, serviceMemo};
    RecordingDatabaseFiles exchange;
    ScriptedDatabases databases;
    FakeFirebirdService verifyService;
    ScriptedRestoredDatabase restoredDatabases;
    BackupOperations operations{{global, catalogue, log, files, clock, view, verifyService, restoredDatabases}};
};

} // namespace veltor::test
