// A process that dies between the two steps of the file exchange leaves the live database
// where the server finds it.
#include "platform/posix/PosixMaintenance.h"
#include "tests/support/FirebirdServer.h"
#include "tests/support/ScratchFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace veltor::posix {
namespace {

ino_t Inode(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

TEST(SwapInterrupted, ProcessKilledBetweenTheStepsLeavesTheLiveDatabaseOpeningThroughTheServer) {
    ASSERT_NO_FATAL_FAILURE(test::RequireFirebirdServer());
    test::ScratchFolder folder("swap-kill");
    const std::string live = folder / "emp.fdb";
    const std::string restored = folder / "EMP-Restore-20261207-1245.GDB";
    const std::string kept = folder / "EMP-Copia-20261207-1245.GDB";
    test::CreateDatabase(live);
    test::RunIsql("CREATE TABLE T (I INTEGER); COMMIT; INSERT INTO T VALUES (41); INSERT INTO T VALUES (1); COMMIT;",
                  "localhost:" + live);
    test::CreateDatabase(restored);
    const ino_t before = Inode(live);

    const pid_t child = fork();
    if (child == 0) {
        // The exchange's first step, and the process gone before its second.
        PosixDatabaseFiles files;
        files.LinkFile(live, kept);
        std::raise(SIGKILL);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    EXPECT_EQ(Inode(live), before);
    EXPECT_EQ(Inode(kept), before);
    EXPECT_TRUE(std::filesystem::exists(restored));
    EXPECT_THAT(test::RunIsql("SELECT SUM(I) FROM T;", "localhost:" + live), ::testing::HasSubstr("42"));
}

} // namespace
} // namespace veltor::posix
