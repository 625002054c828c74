// The file system adapter in a backup folder as the program makes it, where the database
// server's user (a user of the test's own, member of the folder's group) plants names before
// the program, running as root, opens them.
#include "platform/posix/PosixPlatform.h"
#include "ports/Errors.h"
#include "status/StatusFile.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/TestUser.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace veltor {
namespace {

using test::ReadFile;
using test::WriteFile;

class PlantedNames : public ::testing::Test {
protected:
    void SetUp() override {
        files.CreateDirectory(backups);
        WriteFile(secret, "root:$6$secreto:19000:0:99999:7:::\n");
        ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);
    }

    // What the server's user does, as that user; fails the test when it could not.
    void AsServer(const std::function<bool()>& action) { ASSERT_TRUE(server.Act(action)); }
    void PlantLink(const std::string& target, const std::string& name) {
        AsServer([&] { return ::symlink(target.c_str(), name.c_str()) == 0; });
    }
    // The message of the OsError that `open` raised; empty when it raised none.
    template <typename F> static std::string FailureOf(F open) {
        try {
            open();
        } catch (const OsError& e) {
            return e.what();
        }
        return {};
    }
    void ExpectSecretUntouched() {
        struct stat info {};
        ASSERT_EQ(::stat(secret.c_str(), &info), 0);
        EXPECT_EQ(ReadFile(secret), "root:$6$secreto:19000:0:99999:7:::\n");
        EXPECT_EQ(info.st_uid, 0u);
        EXPECT_EQ(info.st_mode & 07777, 0600u);
    }

    test::TestUser server{"srv"};
    test::ScratchFolder scratch{"planted"};
    posix::PosixFileSystem files{server.name()};
    const std::string backups = scratch / "Backups";
    const std::string secret = scratch / "shadow"; // a file only root may read or write
    const std::string monthLog = backups + "/Log Backup Veltor 202612.txt";
};

TEST_F(PlantedNames, NewBackupFolderIsRootsWithTheServersGroupWritingAndNobodyElseReading) {
    struct stat info {};
    ASSERT_EQ(::lstat(backups.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_uid, 0u);
    EXPECT_EQ(info.st_gid, server.gid());
    EXPECT_EQ(info.st_mode & 07777, 02770u);
    AsServer([&] { return ::close(::open((backups + "/x.GBK").c_str(), O_CREAT | O_WRONLY, 0600)) == 0; });
    test::TestUser other{"otro"};
    EXPECT_FALSE(
        other.Act([&] { return ::access(backups.c_str(), R_OK) == 0 || ::access(backups.c_str(), X_OK) == 0; }));
    // A link where the folder is to be made is never taken for it.
    const std::string linked = scratch / "Enlace";
    ASSERT_EQ(::symlink(scratch.path().c_str(), linked.c_str()), 0);
    EXPECT_EQ(FailureOf([&] { files.CreateDirectory(linked); }), "File exists");
}

TEST_F(PlantedNames, MonthLogLinkOrSecondNameOfAnotherFileIsRefusedAndThatFileKeepsItsBytes) {
    PlantLink(secret, monthLog);
    EXPECT_EQ(FailureOf([&] { files.OpenForAppend(monthLog); }), kIsSymbolicLink);
    ExpectSecretUntouched();

    // A link to a name that does not exist yet: nothing is made there.
    const std::string created = scratch / "cron-root";
    ASSERT_EQ(::unlink(monthLog.c_str()), 0);
    PlantLink(created, monthLog);
    EXPECT_EQ(FailureOf([&] { files.OpenForAppend(monthLog); }), kIsSymbolicLink);
    EXPECT_FALSE(std::filesystem::exists(created));

    // A second name of root's file: the kernel refuses it to the server's user here
    // (fs.protected_hardlinks); a machine without that protection gets it from root here.
    ASSERT_EQ(::unlink(monthLog.c_str()), 0);
    EXPECT_FALSE(server.Act([&] { return ::link(secret.c_str(), monthLog.c_str()) == 0; }));
    ASSERT_EQ(::link(secret.c_str(), monthLog.c_str()), 0);
    EXPECT_EQ(FailureOf([&] { files.OpenForAppend(monthLog); }), kHasSecondName);
    ExpectSecretUntouched();

    // The log's own file opens, also when the server's user made it.
    ASSERT_EQ(::unlink(monthLog.c_str()), 0);
    AsServer([&] { return ::close(::open(monthLog.c_str(), O_CREAT | O_WRONLY, 0660)) == 0; });
    auto log = files.OpenForAppend(monthLog);
    log->Write("uno\r\n");
    log->Close();
    EXPECT_EQ(ReadFile(monthLog), "uno\r\n");
}

TEST_F(PlantedNames, PipesAndFoldersUnderAFilesNameFailAtOnceInsteadOfHoldingTheRun) {
    const std::string pipe = backups + "/EMP-20261207-1245.GBK";
    AsServer([&] { return ::mkfifo(pipe.c_str(), 0660) == 0; });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(FailureOf([&] { files.OpenForReading(pipe); }), kNotRegularFile);
    // Nobody reads the pipe: opening it for writing fails at once.
    EXPECT_EQ(FailureOf([&] { files.OpenForAppend(pipe); }), "No such device or address");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    AsServer([&] { return ::mkdir(monthLog.c_str(), 0770) == 0; });
    EXPECT_EQ(FailureOf([&] { files.OpenForReading(monthLog); }), kNotRegularFile);
    EXPECT_EQ(FailureOf([&] { files.OpenForAppend(monthLog); }), "Is a directory");
}

TEST_F(PlantedNames, ReadingRefusesALinkUnlessTheInstallationsOwnFileIsAskedFor) {
    const std::string gbk = backups + "/EMP-20261207-1245.GBK";
    PlantLink(secret, gbk);
    EXPECT_EQ(FailureOf([&] { files.OpenForReading(gbk); }), kIsSymbolicLink);
    // ADMINBD.inf may be a link the administrator made to a file kept elsewhere.
    char byte = 0;
    EXPECT_EQ(files.OpenForReading(gbk, Links::Follow)->Read(&byte, 1), 1u);
    EXPECT_EQ(byte, 'r');
}

TEST_F(PlantedNames, NewFilesAreNeverMadeThroughALinkAndRenameReplacesTheNameNotItsTarget) {
    const std::string note = backups + "/estado.tmp";
    const std::string created = scratch / "made-through-link";
    PlantLink(created, note);
    EXPECT_EQ(FailureOf([&] { files.CreateNew(note); }), "File exists");
    EXPECT_FALSE(std::filesystem::exists(created));
    EXPECT_FALSE(files.CopyFileNoOverwrite(secret, note));
    EXPECT_FALSE(std::filesystem::exists(created));

    const std::string fresh = backups + "/estado.new";
    auto file = files.CreateNew(fresh);
    file->Write("OK\r\n");
    file->Close();
    const std::string status = backups + "/estado.txt";
    PlantLink(secret, status);
    files.PublishFile(fresh, status, IFileSystem::Existing::Replace);
    EXPECT_FALSE(std::filesystem::is_symlink(status));
    EXPECT_EQ(ReadFile(status), "OK\r\n");
    // A link under the temporary name is never published: it is no file we wrote.
    PlantLink(secret, fresh);
    EXPECT_EQ(FailureOf([&] { files.PublishFile(fresh, backups + "/otro.txt", IFileSystem::Existing::Replace); }),
              kIsSymbolicLink);
    EXPECT_FALSE(std::filesystem::exists(backups + "/otro.txt"));
    ExpectSecretUntouched();
}

TEST_F(PlantedNames, StatusFileReplacesLinksAtItsNameAndItsTemporaryNameWithoutWritingThroughThem) {
    const std::string status = StatusBook::PathIn(backups + "/");
    PlantLink(secret, status);
    PlantLink(secret, status + ".tmp");
    ReplaceFileContent(files, status, "{}\n");
    EXPECT_FALSE(std::filesystem::is_symlink(status));
    EXPECT_EQ(ReadFile(status), "{}\n");
    EXPECT_FALSE(std::filesystem::exists(status + ".tmp"));
    ExpectSecretUntouched();
    // A folder under the temporary name: the status file keeps its content, the failure is told.
    AsServer([&] { return ::mkdir((status + ".tmp").c_str(), 0770) == 0; });
    EXPECT_NE(FailureOf([&] { ReplaceFileContent(files, status, "nuevo"); }), "");
    EXPECT_EQ(ReadFile(status), "{}\n");
}

} // namespace
} // namespace veltor
