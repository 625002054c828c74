// The second copy over fakes: what is copied and recorded after a good backup, what retention
// removes in the second folder, the order and the end of the catch-up, and how the scripts'
// outcomes are told. The copier itself is tested on real files in the platform tests.
#include "backup/SecondCopy.h"
#include "tests/support/ActivityLogOverFakes.h"
#include "tests/support/FakeCheckedCopier.h"
#include "tests/support/FakeHookRunner.h"
#include "tests/support/FakeMessageBox.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace veltor::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class SecondCopyTest : public ::testing::Test, protected ActivityLogOverFakes {
protected:
    static constexpr const char* kBackups = "/b/";
    static constexpr const char* kSecond = "/nas/copias/";

    SecondCopyTest() {
        global.ExternalFolder = "/nas/copias";
        global.BackupScript = "/etc/veltor/tras-backup";
    }
    void Start() {
        copy.RunStarted(global, kBackups,
                        [&](const std::string& line, const std::optional<std::string>&, std::optional<std::string>&) {
                            notUnderstood.push_back(line);
                        });
    }
    std::string Backup(const std::string& name) {
        files.AddFile(kBackups + name, "backup " + name);
        return kBackups + name;
    }
    bool MemoHas(const std::string& part) const {
        return std::any_of(view.memo.begin(), view.memo.end(),
                           [&](const std::string& line) { return line.find(part) != std::string::npos; });
    }
    std::vector<std::string> InSecond() const { return files.ListFiles(kSecond); }
    BackupRecord Good(const std::string& file, const char* at, std::optional<bool> verified = std::nullopt) {
        BackupRecord record{at, kBackupDone, "", file};
        record.verified = verified;
        return record;
    }

    FakeMessageBox messages;
    TGlobal global{files, messages, {.upperCaseValues = false, .pathSeparator = '/'}};
    FakeCheckedCopier copier{files};
    FakeHookRunner scripts;
    SecondCopy copy{{log, files, clock, &copier, &scripts}};
    std::vector<std::string> notUnderstood;
    const CopiedCompany uno{"1", "001", "UNO", {"CONTA", "", true}};
    const CopiedCompany dos{"2", "002", "DOS", {"DOS", "", true}};
};

TEST_F(SecondCopyTest, AGoodBackupIsCopiedRecordedAndThenGivenToTheScript) {
    Start();
    const std::string backup = Backup("CONTA-20261207-1245.GBK");
    CompanyStatus status;
    copy.AfterGoodBackup(uno, backup, status);
    ASSERT_EQ(copier.calls.size(), 1u);
    EXPECT_EQ(copier.calls[0].folder, kSecond);
    EXPECT_EQ(copier.calls[0].name, "CONTA-20261207-1245.GBK");
    EXPECT_EQ(copier.calls[0].limitSeconds, CopyLimitSeconds(files.FileSize(backup)));
    ASSERT_TRUE(status.lastCheckedCopy);
    EXPECT_EQ(status.lastCheckedCopy->copy, std::string(kSecond) + "CONTA-20261207-1245.GBK");
    EXPECT_TRUE(MemoHas(" Copia Externa Realizada: /nas/copias/CONTA-20261207-1245.GBK"));
    ASSERT_EQ(scripts.calls.size(), 1u);
    EXPECT_THAT(scripts.calls[0].arguments, ElementsAre(backup, "001"));
    EXPECT_EQ(scripts.calls[0].limitSeconds, kScriptSeconds);

    // A copy that fails is said and recorded; the checked copy on record stays the last one.
    const std::string next = Backup("CONTA-20261208-1245.GBK");
    copier.failures["CONTA-20261208-1245.GBK"] = "no hay espacio en /nas/copias/";
    copy.AfterGoodBackup(uno, next, status);
    EXPECT_EQ(status.lastCopy->outcome, kCopyFailed);
    EXPECT_EQ(status.lastCopy->message, "no hay espacio en /nas/copias/");
    EXPECT_EQ(status.lastCheckedCopy->file, backup);
    EXPECT_TRUE(MemoHas(" No terminada Copia Externa: 001 - UNO: no hay espacio en /nas/copias/"));
    EXPECT_EQ(scripts.calls.size(), 2u) << "the script does not wait for the copy";
}

TEST_F(SecondCopyTest, TheBoundGrowsBySecondsOfTheSlowestRate) {
    EXPECT_EQ(CopyLimitSeconds(0), kCopyFixedSeconds);
    EXPECT_EQ(CopyLimitSeconds(kCopySlowestBytesPerSecond - 1), kCopyFixedSeconds);
    EXPECT_EQ(CopyLimitSeconds(kCopySlowestBytesPerSecond), kCopyFixedSeconds + 1);
    EXPECT_EQ(CopyLimitSeconds(UINT64_MAX), UINT32_MAX);
}

TEST_F(SecondCopyTest, KeysThatCannotBeUsedAreSaidAndChangeNothing) {
    global.ExternalFolder = "/b";
    global.KeepExternal = "dos";
    global.BackupScript = "  ";
    Start();
    EXPECT_FALSE(copy.CopiesAsked());
    EXPECT_FALSE(copy.BackupScriptAsked());
    EXPECT_THAT(notUnderstood,
                ElementsAre(" COPIAEXTERNA=/b es la carpeta de los Backups: no se hace la copia externa",
                            " CONSERVAREXTERNAS=dos no es un número de archivos a conservar: no se elimina ninguna "
                            "copia externa"));
}

TEST_F(SecondCopyTest, RetentionRemovesOnlyTheCompanysOwnOlderCopies) {
    global.KeepExternal = "2";
    Start();
    for (const char* name : {"CONTA-20261201-1200.GBK", "CONTA-20261202-1200.GBK", "CONTA-20261203-1200-E9.GBK",
                             "CONTAB-20261201-1200.GBK", "CONTA-20261201-1200.GBK.tmp"})
        files.AddFile(std::string(kSecond) + name, "x");
    CompanyStatus status;
    copy.AfterGoodBackup(uno, Backup("CONTA-20261204-1200.GBK"), status);
    EXPECT_THAT(InSecond(),
                ElementsAre("CONTA-20261201-1200.GBK.tmp", "CONTA-20261202-1200.GBK", "CONTA-20261203-1200-E9.GBK",
                            "CONTA-20261204-1200.GBK", "CONTAB-20261201-1200.GBK"));
    EXPECT_TRUE(MemoHas(" Elimina Copia externa antigua: /nas/copias/CONTA-20261201-1200.GBK"));

    // Where another database shares the stem, nothing is removed.
    CopiedCompany shared = uno;
    shared.naming.known = false;
    copy.AfterGoodBackup(shared, Backup("CONTA-20261205-1200.GBK"), status);
    EXPECT_EQ(InSecond().size(), 6u);
}

TEST_F(SecondCopyTest, CatchUpCopiesTheNewestMissingOfEachCompanyFirstAndStopsAtAFailure) {
    global.KeepExternal = "3";
    Start();
    StatusBook book;
    CompanyStatus& a = book.Company("1", "001", "UNO");
    a.recentBackups = {Good(Backup("CONTA-20261207-1200.GBK"), "2026-12-07T12:00:00"),
                       Good(Backup("CONTA-20261206-1200.GBK"), "2026-12-06T12:00:00"),
                       Good(Backup("CONTA-20261205-1200.GBK"), "2026-12-05T12:00:00"),
                       Good(Backup("CONTA-20261204-1200.GBK"), "2026-12-04T12:00:00")};
    files.AddFile(std::string(kSecond) + "CONTA-20261207-1200.GBK", "copied before");
    CompanyStatus& b = book.Company("2", "002", "DOS");
    b.recentBackups = {Good(std::string(kBackups) + "DOS-20261207-1300.GBK", "2026-12-07T13:00:00"),
                       Good(Backup("DOS-20261206-1300.GBK"), "2026-12-06T13:00:00")};
    int saved = 0;
    copy.CatchUp({uno, dos}, book, false, [&] { ++saved; });
    // The one copied before, one gone from the backup folder and one beyond those kept are not.
    std::vector<std::string> order;
    for (const auto& call : copier.calls)
        order.push_back(call.name);
    EXPECT_THAT(order, ElementsAre("CONTA-20261206-1200.GBK", "DOS-20261206-1300.GBK", "CONTA-20261205-1200.GBK"));
    EXPECT_EQ(saved, 3);
    EXPECT_EQ(book.Find("2")->lastCheckedCopy->file, std::string(kBackups) + "DOS-20261206-1300.GBK");

    // Verified only: the unverified ones wait; a failure ends the catch-up.
    copier.calls.clear();
    files.files.erase(std::string(kSecond) + "CONTA-20261206-1200.GBK");
    files.files.erase(std::string(kSecond) + "CONTA-20261205-1200.GBK");
    CompanyStatus& again = book.Company("1", "001", "UNO");
    again.recentBackups[1].verified = true;
    again.recentBackups[2].verified = true;
    copier.failures["CONTA-20261206-1200.GBK"] = "la carpeta no responde";
    copy.CatchUp({uno, dos}, book, true, [] {});
    ASSERT_EQ(copier.calls.size(), 1u);
    EXPECT_EQ(book.Find("1")->lastCopy->outcome, kCopyFailed);
}

TEST_F(SecondCopyTest, CatchUpWaitsForARunWhoseCopiesWork) {
    Start();
    copier.failures["CONTA-20261207-1200.GBK"] = "sin red";
    CompanyStatus status;
    copy.AfterGoodBackup(uno, Backup("CONTA-20261207-1200.GBK"), status);
    StatusBook book;
    book.Company("2", "002", "DOS").recentBackups = {Good(Backup("DOS-20261206-1300.GBK"), "2026-12-06T13:00:00")};
    copy.CatchUp({uno, dos}, book, false, [] {});
    EXPECT_EQ(copier.calls.size(), 1u);
}

TEST_F(SecondCopyTest, ScriptsSayHowTheyEndedAndOneThatHungIsNotStartedAgain) {
    global.FailureScript = "/etc/veltor/fallo";
    Start();
    CompanyStatus status;
    scripts.otherwise = {true, "", false, 3, "rclone: remote not found"};
    copy.AfterGoodBackup(uno, Backup("CONTA-20261207-1200.GBK"), status);
    EXPECT_TRUE(MemoHas(" Script /etc/veltor/tras-backup terminó con código 3: rclone: remote not found"));
    scripts.otherwise = {false, "otros usuarios pueden modificar el archivo: /etc/veltor/fallo", false, -1, ""};
    copy.RunFailed("Backup: 1 empresa no terminada");
    EXPECT_THAT(scripts.calls.back().arguments, ElementsAre("Backup: 1 empresa no terminada"));
    EXPECT_TRUE(MemoHas(" No se ejecuta el script /etc/veltor/fallo: otros usuarios pueden modificar el archivo"));
    EXPECT_TRUE(files.FileExists(ActivityLog::MonthLogPath(kBackups, clock.Now())))
        << "the failure script's line goes to the month log";

    scripts.otherwise = {true, "", true, -1, ""};
    copy.AfterGoodBackup(uno, Backup("CONTA-20261208-1200.GBK"), status);
    EXPECT_TRUE(MemoHas(" El script /etc/veltor/tras-backup no terminó en 600 segundos"));
    const std::size_t calls = scripts.calls.size();
    copy.AfterGoodBackup(uno, Backup("CONTA-20261209-1200.GBK"), status);
    EXPECT_EQ(scripts.calls.size(), calls);
    Start();
    copy.AfterGoodBackup(uno, Backup("CONTA-20261210-1200.GBK"), status);
    EXPECT_EQ(scripts.calls.size(), calls + 1) << "the next run tries it again";
}

} // namespace
} // namespace veltor::test
