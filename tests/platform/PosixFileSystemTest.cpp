#include "platform/posix/PosixPlatform.h"
#include "ports/Errors.h"
#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace veltor {
namespace {

using test::ReadFile;
using test::WriteFile;

class PosixFiles : public ::testing::Test {
protected:
    test::ScratchFolder folder{"posixfs"};
    posix::PosixFileSystem files;

    std::string ContentThroughPort(const std::string& path) {
        auto in = files.OpenForReading(path);
        std::string content;
        char buffer[5];
        while (std::size_t n = in->Read(buffer, sizeof buffer))
            content.append(buffer, n);
        return content;
    }
};

TEST_F(PosixFiles, TellsFilesFromFolders) {
    WriteFile(folder / "f", "x");
    EXPECT_TRUE(files.FileExists(folder / "f"));
    EXPECT_FALSE(files.DirectoryExists(folder / "f"));
    EXPECT_TRUE(files.DirectoryExists(folder.path()));
    EXPECT_TRUE(files.DirectoryExists(folder.path() + "/"));
    EXPECT_FALSE(files.FileExists(folder.path()));
    EXPECT_FALSE(files.FileExists(folder / "nada"));
    EXPECT_FALSE(files.DirectoryExists(folder / "nada"));
    EXPECT_EQ(files.PathSeparator(), '/');
}

TEST_F(PosixFiles, CreatesOneFolderLevelOnly) {
    files.CreateDirectory(folder / "uno");
    EXPECT_TRUE(files.DirectoryExists(folder / "uno"));
    try {
        files.CreateDirectory(folder / "dos/tres");
        FAIL() << "created a folder without its parent";
    } catch (const OsError& e) {
        EXPECT_EQ(e.code(), static_cast<std::uint32_t>(ENOENT));
        EXPECT_STREQ(e.what(), std::strerror(ENOENT));
    }
    EXPECT_THROW(files.CreateDirectory(folder / "uno"), OsError);
}

TEST_F(PosixFiles, CopyNeverOverwrites) {
    WriteFile(folder / "a", std::string("bytes\0\r\n", 8));
    EXPECT_TRUE(files.CopyFileNoOverwrite(folder / "a", folder / "b"));
    EXPECT_EQ(ReadFile(folder / "b"), std::string("bytes\0\r\n", 8));
    WriteFile(folder / "c", "propio");
    EXPECT_FALSE(files.CopyFileNoOverwrite(folder / "a", folder / "c"));
    EXPECT_EQ(ReadFile(folder / "c"), "propio");
    EXPECT_FALSE(files.CopyFileNoOverwrite(folder / "nada", folder / "d"));
    EXPECT_FALSE(files.FileExists(folder / "d"));
    EXPECT_FALSE(files.CopyFileNoOverwrite(folder / "a", folder / "falta/e"));
}

// Keep is the guard that a backup never takes the name of a file it cannot tell is its own.
TEST_F(PosixFiles, PublishingReplacesANameOnlyWhenAskedAndLeavesBothFilesOtherwise) {
    WriteFile(folder / "nuevo.tmp", "nuevo");
    WriteFile(folder / "final", "anterior");
    EXPECT_THROW(files.PublishFile(folder / "nuevo.tmp", folder / "final", IFileSystem::Existing::Keep), OsError);
    EXPECT_EQ(ReadFile(folder / "final"), "anterior");
    EXPECT_EQ(ReadFile(folder / "nuevo.tmp"), "nuevo");

    files.PublishFile(folder / "nuevo.tmp", folder / "libre", IFileSystem::Existing::Keep);
    EXPECT_EQ(ReadFile(folder / "libre"), "nuevo");
    EXPECT_FALSE(files.FileExists(folder / "nuevo.tmp"));

    files.PublishFile(folder / "libre", folder / "final", IFileSystem::Existing::Replace);
    EXPECT_EQ(ReadFile(folder / "final"), "nuevo");
    EXPECT_FALSE(files.FileExists(folder / "libre"));
    EXPECT_THROW(files.PublishFile(folder / "nada", folder / "final", IFileSystem::Existing::Replace), OsError);
}

TEST_F(PosixFiles, AFileLockKeepsEveryOtherHolderOutUntilItGoes) {
    const std::string path = folder / "Backup en curso.lock";
    auto first = files.TryLockFile(path);
    ASSERT_TRUE(first);
    EXPECT_FALSE(files.TryLockFile(path));
    // Another process is kept out as well.
    const pid_t child = fork();
    if (child == 0) _exit(posix::PosixFileSystem().TryLockFile(path) ? 1 : 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    first.reset();
    EXPECT_TRUE(files.TryLockFile(path));
    // A link under the name is no lock file of ours.
    ASSERT_EQ(symlink(path.c_str(), (folder / "enlace").c_str()), 0);
    EXPECT_THROW(files.TryLockFile(folder / "enlace"), OsError);
}

TEST_F(PosixFiles, RemoveTellsAMissingFileFromAFailure) {
    WriteFile(folder / "nota", "x");
    EXPECT_TRUE(files.RemoveFile(folder / "nota"));
    EXPECT_FALSE(files.FileExists(folder / "nota"));
    EXPECT_FALSE(files.RemoveFile(folder / "nota"));
    files.CreateDirectory(folder / "carpeta");
    EXPECT_THROW(files.RemoveFile(folder / "carpeta"), OsError);
}

TEST_F(PosixFiles, ReadsBytesAndRaisesTheSystemsMessage) {
    const std::string bytes = std::string(100000, 'z') + "\r\n\x1a";
    WriteFile(folder / "r", bytes);
    EXPECT_EQ(ContentThroughPort(folder / "r"), bytes);
    try {
        files.OpenForReading(folder / "nada");
        FAIL() << "opened a missing file";
    } catch (const OsError& e) {
        EXPECT_EQ(e.code(), static_cast<std::uint32_t>(ENOENT));
        EXPECT_STREQ(e.what(), std::strerror(ENOENT));
    }
}

TEST_F(PosixFiles, AppendCreatesThenWritesAtTheEnd) {
    const std::string path = folder / "log.txt";
    auto first = files.OpenForAppend(path);
    first->Write("uno\r\n");
    first->Close();
    WriteFile(path, ReadFile(path) + "de otro\r\n");
    auto second = files.OpenForAppend(path);
    const std::string big(200000, 'b');
    second->Write(big);
    second->Write("\r\n");
    second->Close();
    EXPECT_EQ(ReadFile(path), "uno\r\nde otro\r\n" + big + "\r\n");
}

TEST_F(PosixFiles, DestructorWritesOutAndReleases) {
    const std::string path = folder / "log.txt";
    {
        auto file = files.OpenForAppend(path);
        file->Write("sin cerrar\r\n");
    }
    EXPECT_EQ(ReadFile(path), "sin cerrar\r\n");
    EXPECT_NO_THROW(files.OpenForAppend(path)->Close());
}

TEST_F(PosixFiles, SecondWriterInThisProcessIsRefusedWhileTheFirstHoldsTheFile) {
    const std::string path = folder / "log.txt";
    auto first = files.OpenForAppend(path);
    try {
        files.OpenForAppend(path);
        FAIL() << "a second writer got the file";
    } catch (const OsError& e) {
        EXPECT_EQ(e.code(), static_cast<std::uint32_t>(EWOULDBLOCK));
        EXPECT_STREQ(e.what(), std::strerror(EWOULDBLOCK));
    }
    first->Write("uno\r\n");
    first->Close();
    auto second = files.OpenForAppend(path);
    second->Write("dos\r\n");
    second->Close();
    EXPECT_EQ(ReadFile(path), "uno\r\ndos\r\n");
}

// In a child process: 0 when it read the expected bytes and was refused as a writer.
int ChildReadsButCannotWrite(const std::string& path, const std::string& expected) {
    posix::PosixFileSystem childFiles;
    try {
        auto in = childFiles.OpenForReading(path);
        std::string content;
        char buffer[64];
        while (std::size_t n = in->Read(buffer, sizeof buffer))
            content.append(buffer, n);
        if (content != expected) return 2;
    } catch (...) {
        return 3;
    }
    try {
        childFiles.OpenForAppend(path);
        return 4;
    } catch (const OsError& e) {
        return e.code() == static_cast<std::uint32_t>(EWOULDBLOCK) ? 0 : 5;
    } catch (...) {
        return 6;
    }
}

TEST_F(PosixFiles, AnotherProcessReadsButCannotWriteWhileTheFileIsHeld) {
    const std::string path = folder / "log.txt";
    WriteFile(path, "antes\r\n");
    auto held = files.OpenForAppend(path);
    held->Write("pendiente\r\n");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    // Each write reaches the file at once: a run killed later leaves its lines.
    if (child == 0) _exit(ChildReadsButCannotWrite(path, "antes\r\npendiente\r\n"));
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    held->Close();
    EXPECT_EQ(ReadFile(path), "antes\r\npendiente\r\n");
}

TEST_F(PosixFiles, OpenForAppendInAMissingFolderRaises) {
    EXPECT_THROW(files.OpenForAppend(folder / "falta/log.txt"), OsError);
}

TEST_F(PosixFiles, ListsPlainFilesAndTellsTheirSize) {
    WriteFile(folder / "status.json", "new content");
    EXPECT_EQ(files.FileSize(folder / "status.json"), 11u);
    EXPECT_THROW(files.FileSize(folder / "none"), OsError);
    WriteFile(folder / "target", "untouched");
    ASSERT_EQ(::symlink((folder / "target").c_str(), (folder / "linked.json").c_str()), 0);
    // A link's own size, not its target's.
    EXPECT_EQ(files.FileSize(folder / "linked.json"), (folder / "target").size());
    // Plain files only: the link and the folder are left out.
    ASSERT_EQ(::mkdir((folder / "sub").c_str(), 0700), 0);
    std::vector<std::string> names = files.ListFiles(folder.path() + "/");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"status.json", "target"}));
    EXPECT_EQ(files.ListFiles(folder.path()).size(), 2u);
    EXPECT_THROW(files.ListFiles(folder / "none"), OsError);
}

} // namespace
} // namespace veltor
