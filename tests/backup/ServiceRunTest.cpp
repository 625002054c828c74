// The lines a backup and a restore through the service write, and a verification's restore,
// over a scripted service.

#include "backup/ServiceOutput.h"
#include "backup/Verification.h"
#include "tests/support/FakeActivityView.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeFileSystem.h"
#include "tests/support/FakeFirebirdService.h"
#include "tests/support/FakeRegionalFormats.h"
#include "tests/support/FakeRestoredDatabase.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

namespace veltor::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* P = "07/12/2026 - 12:45:03";

class ServiceRun : public ::testing::Test {
protected:
    void SetUp() override {
        files.directories.insert("/b");
        log.OpenMonthLog("/b/");
    }
    std::string LogText() {
        log.CloseMonthLog();
        return *files.Content("/b/Log Backup Veltor 202612.txt");
    }

    FakeFileSystem files;
    FakeClock clock;
    FakeRegionalFormats formats;
    FakeActivityView view;
    ActivityLog log{files, clock, formats, view};
    FakeFirebirdService service;
};

TEST_F(ServiceRun, BackupWritesItsFileLineOnceStartedThenTheOutputInOneBatch) {
    std::vector<std::size_t> memoAtEachEvent;
    view.onProcessEvents = [&] { memoAtEachEvent.push_back(view.memo.size()); };
    service.scripts.push_back({{}, {"gbak:uno", "gbak:dos"}, {}, [&] { EXPECT_THAT(view.memo, IsEmpty()); }});

    const auto output = BackupToTheEnd(service, {}, "/b/UNO.GBK", log, view);

    EXPECT_THAT(output, ElementsAre("gbak:uno", "gbak:dos", ""));
    const std::string fileLine = std::string(P) + " Archivo Backup: /b/UNO.GBK";
    EXPECT_THAT(view.memo, ElementsAre(fileLine, "  gbak:uno", "  gbak:dos", "  "));
    EXPECT_THAT(view.batches, ElementsAre(1u, 3u));
    // After each line as it is read, and once more after the batch.
    EXPECT_THAT(memoAtEachEvent, ElementsAre(1u, 1u, 1u, 4u));
    EXPECT_EQ(LogText(), fileLine + "\r\n");
}

TEST_F(ServiceRun, RefusedStartWritesNothingAndAFailedActionNoOutput) {
    service.scripts.push_back({"Unable to complete network request", {}, {}, {}});
    service.scripts.push_back({{}, {"gbak:uno"}, "I/O error during \"open\"", {}});
    try {
        BackupToTheEnd(service, {}, "/b/UNO.GBK", log, view);
        FAIL();
    } catch (const fb::FirebirdError& e) {
        EXPECT_STREQ(e.what(), "Unable to complete network request");
    }
    EXPECT_THAT(view.memo, IsEmpty());
    EXPECT_THROW(BackupToTheEnd(service, {}, "/b/UNO.GBK", log, view), fb::FirebirdError);
    EXPECT_THAT(view.memo, ElementsAre(std::string(P) + " Archivo Backup: /b/UNO.GBK"));
    EXPECT_EQ(LogText(), std::string(P) + " Archivo Backup: /b/UNO.GBK\r\n");
}

TEST_F(ServiceRun, RestoreWritesItsFileLineToTheMemoOnly) {
    fb::RestoreRequest request;
    request.backupFiles = {"/b/UNO.GBK"};
    RestoreToTheEnd(service, request, log, view);
    EXPECT_THAT(view.memo, ElementsAre(std::string(P) + " Archivo Backup: /b/UNO.GBK", "  gbak:line one",
                                       "  gbak:line two", "  "));
    EXPECT_EQ(LogText(), "");
}

TEST_F(ServiceRun, VerificationRestoresThroughTheServerChecksAndRemovesTheScratch) {
    ScriptedRestoredDatabase databases;
    service.files = &files;
    BackupVerifier verifier(service, databases, files, view);
    const std::string scratch = "/b/UNO-Verifica.FDB";

    VerificationResult result = verifier.Verify("localhost/3050", "/b/UNO.GBK.tmp", {{"MOVS", 3}});
    EXPECT_TRUE(result.passed);
    EXPECT_EQ(result.message, "1 tablas, 3 filas");
    ASSERT_EQ(service.runs.size(), 1u);
    EXPECT_EQ(service.runs[0].action, "restore");
    EXPECT_EQ(service.runs[0].serverName, "localhost/3050");
    EXPECT_EQ(service.runs[0].protocol, fb::ServiceProtocol::Tcp);
    EXPECT_THAT(service.runs[0].restore.backupFiles, ElementsAre("/b/UNO.GBK.tmp"));
    EXPECT_THAT(service.runs[0].restore.databasePaths, ElementsAre(scratch));
    EXPECT_EQ(service.runs[0].restore.options, fb::RestoreRequest::kCreate);
    EXPECT_TRUE(service.runs[0].restore.verbose);
    EXPECT_THAT(databases.asked, ElementsAre("localhost/3050:" + scratch, "localhost/3050:" + scratch));
    EXPECT_EQ(view.processEventsCalls, 3);
    EXPECT_FALSE(files.FileExists(scratch));

    databases.online = false;
    result = verifier.Verify("localhost", "/b/UNO.GBK", {{"MOVS", 3}});
    EXPECT_FALSE(result.passed);
    EXPECT_EQ(result.message, "la base de datos restaurada quedó cerrada (el Restore no terminó)");

    service.scripts.push_back({{}, {}, "gbak: ERROR:unexpected end of file", {}});
    result = verifier.Verify("localhost", "/b/UNO.GBK", {{"MOVS", 3}});
    EXPECT_FALSE(result.passed);
    EXPECT_EQ(result.message, "gbak: ERROR:unexpected end of file");
    EXPECT_FALSE(files.FileExists(scratch));

    // Somebody else's file of the scratch name is left alone, and nothing is restored.
    files.AddFile(scratch, "theirs");
    result = verifier.Verify("localhost", "/b/UNO.GBK", {});
    EXPECT_EQ(result.message, "ya existe el archivo " + scratch);
    EXPECT_EQ(service.runs.size(), 3u);
    EXPECT_EQ(files.Content(scratch), "theirs");
}

} // namespace
} // namespace veltor::test
