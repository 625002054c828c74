// The maintenance script launch and the database file exchange on Linux, on real files and
// processes.
#include "platform/posix/PosixMaintenance.h"
#include "maintenance/CycleFiles.h"
#include "ports/Errors.h"
#include "tests/support/CatalogueFixture.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/TestUser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace veltor::posix {
namespace {

using test::ReadFile;
using test::WriteFile;

// Waits up to 5 s for a file to appear; true when it did.
bool Appears(const std::string& path) {
    for (int i = 0; i < 100; ++i) {
        if (std::filesystem::exists(path)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// Waits up to 5 s for a process to be gone altogether (reaped, not a zombie).
bool Reaped(int pid) {
    const std::string proc = "/proc/" + std::to_string(pid);
    for (int i = 0; i < 100; ++i) {
        if (!std::filesystem::exists(proc)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

class ShellLauncher : public ::testing::Test {
protected:
    test::ScratchFolder folder{"script", test::Writers::RootOnly};
    test::CurrentDirectory here{folder.path()};
    PosixShellLauncher launcher;

    void Script(const std::string& text, mode_t mode) {
        WriteFile(folder / "gfixonline.Bat", text);
        chmod((folder / "gfixonline.Bat").c_str(), mode);
    }
};

TEST_F(ShellLauncher, ScriptGetsTheRestoredPathAsItsOneArgumentUntouchedInASessionOfItsOwnUnwaited) {
    Script("#!/bin/sh\nsleep 0.5\nprintf '%s|%s' \"$#\" \"$1\" > args.tmp\n"
           "cut -d' ' -f6 /proc/$$/stat > session\nls -l /proc/$$/fd > fds\nmv args.tmp args\n",
           0755);
    const std::string argument = "/var/tmp/Datos Veltor/$(touch hecho) 'x\";y`id`/EMP-Restore-20261207-1245.GDB";
    // A descriptor of ours without close-on-exec must not reach the script.
    const int ours = ::open((folder / "held").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(ours, 0);

    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(launcher.LaunchScript("gfixonline.Bat", argument).started);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
    EXPECT_FALSE(std::filesystem::exists(folder / "args"));
    ASSERT_TRUE(Appears(folder / "args"));
    ::close(ours);
    EXPECT_EQ(ReadFile(folder / "args"), "1|" + argument);
    EXPECT_FALSE(std::filesystem::exists(folder / "hecho"));
    EXPECT_EQ(ReadFile(folder / "session"), std::to_string(launcher.lastProcessId()) + "\n");
    EXPECT_EQ(ReadFile(folder / "fds").find(folder / "held"), std::string::npos) << ReadFile(folder / "fds");
    EXPECT_TRUE(Reaped(launcher.lastProcessId()));
}

TEST_F(ShellLauncher, ScriptWithoutExecutePermissionOrInterpreterLineIsReadByShAndAMissingOneIsNotStarted) {
    EXPECT_FALSE(launcher.LaunchScript("gfixonline.Bat", "x").started);
    Script("printf '%s' \"$1\" > args.tmp\nmv args.tmp args\n", 0644);
    ASSERT_TRUE(launcher.LaunchScript("gfixonline.Bat", "-n /tmp/x.GDB").started);
    ASSERT_TRUE(Appears(folder / "args"));
    EXPECT_EQ(ReadFile(folder / "args"), "-n /tmp/x.GDB");
}

// Whether the script starts, and the reason given when it does not.
struct Outcome {
    bool started;
    std::string refused;
    bool operator==(const Outcome&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Outcome& o) {
    return out << (o.started ? "started" : "not started") << " [" << o.refused << "]";
}

TEST_F(ShellLauncher, ScriptStartsOnlyWhenItAndItsFoldersAreRootsAndNobodyElseCanWriteThem) {
    test::TestUser someone{"scr"};
    const std::string script = folder / "gfixonline.Bat";
    Script("#!/bin/sh\nexit 0\n", 0755);
    const auto launch = [&] {
        const ScriptLaunch l = launcher.LaunchScript("gfixonline.Bat", "x");
        return Outcome{l.started, l.refused};
    };
    // Folder 0755 and script 0755, both root's, under /var/tmp (sticky): the boundary that passes.
    EXPECT_EQ(launch(), (Outcome{true, ""}));

    chmod(folder.path().c_str(), 0775);
    EXPECT_EQ(launch(), (Outcome{false, "otros usuarios pueden modificar la carpeta: " + folder.path()}));
    chmod(folder.path().c_str(), 0757);
    EXPECT_EQ(launch(), (Outcome{false, "otros usuarios pueden modificar la carpeta: " + folder.path()}));
    chmod(folder.path().c_str(), 0755);
    ASSERT_EQ(chown(folder.path().c_str(), someone.uid(), 0), 0);
    EXPECT_EQ(launch(), (Outcome{false, "la carpeta no pertenece a root: " + folder.path()}));
    ASSERT_EQ(chown(folder.path().c_str(), 0, 0), 0);

    chmod(script.c_str(), 0775);
    EXPECT_EQ(launch(), (Outcome{false, "otros usuarios pueden modificar el archivo: " + script}));
    chmod(script.c_str(), 0757);
    EXPECT_EQ(launch(), (Outcome{false, "otros usuarios pueden modificar el archivo: " + script}));
    chmod(script.c_str(), 0755);
    ASSERT_EQ(chown(script.c_str(), someone.uid(), someone.gid()), 0);
    EXPECT_EQ(launch(), (Outcome{false, "el archivo no pertenece a root: " + script}));

    // A link, even to a script that would pass, and a folder whose parent others can write.
    test::ScratchFolder elsewhere{"script-real", test::Writers::RootOnly};
    WriteFile(elsewhere / "real.sh", "#!/bin/sh\nexit 0\n");
    chmod((elsewhere / "real.sh").c_str(), 0755);
    std::filesystem::remove(script);
    ASSERT_EQ(::symlink((elsewhere / "real.sh").c_str(), script.c_str()), 0);
    EXPECT_EQ(launch(), (Outcome{false, "es un enlace simbólico: " + script}));

    test::ScratchFolder shared{"shared"}; // under /var/tmp/veltor-tests, which everybody may write
    ASSERT_EQ(::mkdir((shared / "instalacion").c_str(), 0755), 0);
    WriteFile(shared / "instalacion/gfixonline.Bat", "#!/bin/sh\nexit 0\n");
    chmod((shared / "instalacion/gfixonline.Bat").c_str(), 0755);
    test::CurrentDirectory there{shared / "instalacion"};
    chmod(shared.path().c_str(), 0755);
    EXPECT_EQ(launch(), (Outcome{false, "otros usuarios pueden modificar la carpeta: /var/tmp/veltor-tests"}));
}

class DatabaseFiles : public ::testing::Test {
protected:
    test::ScratchFolder folder{"swap"};
    const std::string live = folder / "emp.fdb";
    const std::string restored = folder / "EMP-Restore-20261207-1245.GDB";
    const std::string kept = folder / "EMP-Copia-20261207-1245.GDB";
    PosixDatabaseFiles files;

    void SetUp() override {
        WriteFile(live, "old");
        WriteFile(restored, "new");
    }
    static ino_t Inode(const std::string& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
    }
    // The message of the error that `swap` raised; empty when it raised none.
    template <typename F> static std::string FailureOf(F swap) {
        try {
            swap();
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return {};
    }
    void ExpectUntouched() {
        EXPECT_EQ(ReadFile(live), "old");
        EXPECT_EQ(ReadFile(restored), "new");
    }
};

TEST_F(DatabaseFiles, SwapPutsTheRestoredFileAtTheLiveNameAndKeepsTheLiveFileUnderTheKeptName) {
    const ino_t before = Inode(live);
    SwapInRestored(files, live, restored, kept);
    EXPECT_EQ(ReadFile(live), "new");
    EXPECT_EQ(ReadFile(kept), "old");
    EXPECT_EQ(Inode(kept), before);
    EXPECT_FALSE(std::filesystem::exists(restored));
}

TEST_F(DatabaseFiles, KeptNameTakenOrRestoredFileMissingFailsBeforeAnythingIsTouched) {
    WriteFile(kept, "earlier");
    EXPECT_EQ(FailureOf([&] { SwapInRestored(files, live, restored, kept); }), "ya existe " + kept);
    ExpectUntouched();
    EXPECT_EQ(ReadFile(kept), "earlier");

    std::filesystem::remove(kept);
    EXPECT_EQ(FailureOf([&] { SwapInRestored(files, live, folder / "nothing.GDB", kept); }),
              "no se pudo renombrar " + folder / "nothing.GDB" + " por " + live + ": No such file or directory");
    EXPECT_FALSE(std::filesystem::exists(kept));
    ExpectUntouched();
}

TEST_F(DatabaseFiles, LeftOversAreRestoredFilesOfAnyStampAndKeptNamesThatAreStillTheLiveFile) {
    ASSERT_EQ(::link(live.c_str(), kept.c_str()), 0); // what a process killed between the steps leaves
    const std::string older = folder / "EMP-Copia-20261101-0300.GDB";
    const std::string otherRestored = folder / "EMP-Restore-20261101-0300.GDB";
    WriteFile(older, "an exchange that ended"); // a kept copy of its own: not a left-over
    WriteFile(otherRestored, "x");
    WriteFile(folder / "EMP-Restore-2026110-0300.GDB", "x");   // not a stamp
    WriteFile(folder / "EMPX-Restore-20261101-0300.GDB", "x"); // another database
    WriteFile(folder / "EMP-Restore-20261101-0300.gdb", "x");  // not a name the cycle makes

    LeftOvers found = FindLeftOvers(files, live, '/');
    std::sort(found.restoredFiles.begin(), found.restoredFiles.end());
    EXPECT_EQ(found.keptLinks, std::vector<std::string>{kept});
    EXPECT_EQ(found.restoredFiles, (std::vector<std::string>{otherRestored, restored}));
    EXPECT_THROW(FindLeftOvers(files, folder / "gone/emp.fdb", '/'), OsError);
}

TEST_F(DatabaseFiles, SizesRoomsNamesAndRemovalOfRealFiles) {
    EXPECT_EQ(files.FileSize(live), 3u);
    EXPECT_THROW(files.FileSize(folder / "nothing"), OsError);
    EXPECT_TRUE(files.SameFile(live, live));
    EXPECT_FALSE(files.SameFile(live, restored));
    EXPECT_FALSE(files.SameFile(live, folder / "nothing"));
    // The scratch folder and /dev/shm lie on two volumes; one folder's room is what df shows.
    const VolumeRoom here = files.RoomIn(folder.path());
    EXPECT_EQ(here.volume, files.RoomIn(folder.path() + "/").volume);
    EXPECT_NE(here.volume, files.RoomIn("/dev/shm").volume);
    EXPECT_GT(here.available, 0u);
    EXPECT_THROW(files.RoomIn(folder / "nothing"), OsError);
    // The last change in local time, to the second.
    struct tm local {};
    local.tm_year = 2026 - 1900, local.tm_mon = 2, local.tm_mday = 4, local.tm_hour = 5, local.tm_min = 6;
    local.tm_sec = 7, local.tm_isdst = -1;
    const struct timeval times[2] = {{mktime(&local), 0}, {mktime(&local), 0}};
    ASSERT_EQ(utimes(live.c_str(), times), 0);
    const LocalDateTime written = files.LastWritten(live);
    EXPECT_EQ(std::vector<int>({written.year, written.month, written.day, written.hour, written.minute, written.second,
                                written.weekday}),
              std::vector<int>({2026, 3, 4, 5, 6, 7, 3}));
    EXPECT_THROW(files.LastWritten(folder / "nothing"), OsError);
    EXPECT_TRUE(files.RemoveFile(restored));
    EXPECT_FALSE(files.RemoveFile(restored));
    std::vector<std::string> names = files.FileNamesIn(folder.path());
    EXPECT_EQ(names, std::vector<std::string>{"emp.fdb"});
}

// A link is the link itself, whatever it leads to; a name that cannot be there holds nothing.
TEST_F(DatabaseFiles, WhatANameHoldsIsReadWithoutFollowingALink) {
    ASSERT_EQ(::symlink(live.c_str(), kept.c_str()), 0);
    EXPECT_EQ(files.WhatIsAt(live), NameHolds::RegularFile);
    EXPECT_EQ(files.WhatIsAt(kept), NameHolds::Link);
    EXPECT_EQ(files.WhatIsAt(folder.path()), NameHolds::Other);
    EXPECT_EQ(files.WhatIsAt(folder / "nothing"), NameHolds::Nothing);
    EXPECT_EQ(files.WhatIsAt(folder / "gone/emp.fdb"), NameHolds::Nothing);
    EXPECT_EQ(files.WhatIsAt(live + "/emp.fdb"), NameHolds::Nothing);
}

TEST_F(DatabaseFiles, ReadOnlyFolderFailsWithTheSystemsMessageAndLeavesTheLiveFile) {
    // Root passes every permission check: the swap runs in a child that has become nobody, the
    // owner of the files (so that the link is not refused for them).
    ASSERT_EQ(chown(live.c_str(), 65534, 65534), 0);
    ASSERT_EQ(chown(restored.c_str(), 65534, 65534), 0);
    chmod(folder.path().c_str(), 0555);
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    const pid_t child = fork();
    if (child == 0) {
        std::string message = "no failure";
        if (setgid(65534) == 0 && setuid(65534) == 0)
            message = FailureOf([&] { SwapInRestored(files, live, restored, kept); });
        (void)!::write(pipe[1], message.data(), message.size());
        _exit(0);
    }
    ::close(pipe[1]);
    char buffer[256] = {};
    const ssize_t n = ::read(pipe[0], buffer, sizeof buffer - 1);
    ::close(pipe[0]);
    waitpid(child, nullptr, 0);
    chmod(folder.path().c_str(), 0777);
    EXPECT_EQ(std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0),
              "no se pudo dar a la base de datos el nombre " + kept + ": Permission denied");
    ExpectUntouched();
    EXPECT_FALSE(std::filesystem::exists(kept));
}

TEST_F(DatabaseFiles, FailedRenameTakesTheKeptLinkAwayAgain) {
    // A restored file on another file system cannot be renamed over the live one.
    const std::string elsewhere = "/dev/shm/veltor-swap-" + std::to_string(getpid()) + ".GDB";
    WriteFile(elsewhere, "new");
    EXPECT_EQ(FailureOf([&] { SwapInRestored(files, live, elsewhere, kept); }),
              "no se pudo renombrar " + elsewhere + " por " + live + ": Invalid cross-device link");
    EXPECT_EQ(ReadFile(live), "old");
    EXPECT_FALSE(std::filesystem::exists(kept));
    EXPECT_EQ(ReadFile(elsewhere), "new");
    std::filesystem::remove(elsewhere);
}

TEST_F(DatabaseFiles, MatchAccessGivesTheRestoredFileTheLiveFilesOwnerGroupAndMode) {
    ASSERT_EQ(chown(live.c_str(), 65534, 65534), 0);
    ASSERT_EQ(chmod(live.c_str(), 0640), 0);
    ASSERT_EQ(chmod(restored.c_str(), 0600), 0);
    files.MatchAccess(live, restored);
    struct stat info {};
    ASSERT_EQ(::stat(restored.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 65534u);
    EXPECT_EQ(info.st_gid, 65534u);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(FailureOf([&] { files.MatchAccess(folder / "nothing", restored); }), "No such file or directory");
}

// The databases' folder belongs to the server's user, who may put a link to any file of the
// system, or a second name of it, under the restored file's name before the cycle (root) gives
// it the live file's owner and mode.
TEST_F(DatabaseFiles, OwnerAndModeChangeAndSwapNeverReachAFileThroughALinkPlantedInTheFolder) {
    test::TestUser server{"db"};
    const std::string secret = "/var/tmp/veltor-secret-" + std::to_string(getpid());
    WriteFile(secret, "solo root");
    ASSERT_EQ(chmod(secret.c_str(), 0600), 0);
    ASSERT_EQ(chown(folder.path().c_str(), server.uid(), server.gid()), 0);
    ASSERT_EQ(chmod(folder.path().c_str(), 0700), 0);
    ASSERT_EQ(chown(live.c_str(), server.uid(), server.gid()), 0);
    ASSERT_EQ(chmod(live.c_str(), 0660), 0);
    ASSERT_TRUE(server.Act(
        [&] { return ::unlink(restored.c_str()) == 0 && ::symlink(secret.c_str(), restored.c_str()) == 0; }));
    const auto secretUntouched = [&] {
        struct stat info {};
        return ::stat(secret.c_str(), &info) == 0 && info.st_uid == 0 && info.st_gid == 0 &&
               (info.st_mode & 07777) == 0600 && ReadFile(secret) == "solo root";
    };

    EXPECT_EQ(FailureOf([&] { files.MatchAccess(live, restored); }), kIsSymbolicLink);
    EXPECT_TRUE(secretUntouched());
    EXPECT_EQ(FailureOf([&] { SwapInRestored(files, live, restored, kept); }),
              "el Archivo Restaurado es un enlace: " + restored);
    EXPECT_EQ(ReadFile(live), "old");
    EXPECT_FALSE(std::filesystem::exists(kept));

    // A second name of root's file (made by root: the kernel refuses it to the user here).
    ASSERT_EQ(::unlink(restored.c_str()), 0);
    ASSERT_EQ(::link(secret.c_str(), restored.c_str()), 0);
    EXPECT_EQ(FailureOf([&] { files.MatchAccess(live, restored); }), kHasSecondName);
    EXPECT_TRUE(secretUntouched());

    // The live name as a link: its target's owner is never copied, nor is the link swapped.
    ASSERT_EQ(::unlink(restored.c_str()), 0);
    WriteFile(restored, "new");
    ASSERT_TRUE(
        server.Act([&] { return ::unlink(live.c_str()) == 0 && ::symlink(secret.c_str(), live.c_str()) == 0; }));
    EXPECT_EQ(FailureOf([&] { files.MatchAccess(live, restored); }), kIsSymbolicLink);
    EXPECT_EQ(FailureOf([&] { SwapInRestored(files, live, restored, kept); }),
              "la base de datos es un enlace: " + live);
    EXPECT_TRUE(secretUntouched());
    EXPECT_EQ(ReadFile(restored), "new");
    std::filesystem::remove(secret);
}

TEST_F(DatabaseFiles, MatchAccessDropsSetUserAndSetGroupBits) {
    ASSERT_EQ(chmod(live.c_str(), 06660), 0);
    files.MatchAccess(live, restored);
    struct stat info {};
    ASSERT_EQ(::stat(restored.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0660u);
}

} // namespace
} // namespace veltor::posix
