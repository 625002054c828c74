// The checked copy into a second folder, on real files; a full disk is a small tmpfs (root).
#include "platform/posix/PosixCheckedCopier.h"
#include "ports/Errors.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/TestUser.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltor {
namespace {

using test::FilesLike;
using test::ReadFile;
using test::WriteFile;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// Bytes that differ from block to block, so a block written twice or left out shows.
std::string BackupBytes(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t state = 12345;
    for (char& c : bytes) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 16);
    }
    return bytes;
}

class PosixCheckedCopy : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directory(second);
        WriteFile(backup, BackupBytes(2 * (1 << 20) + 12345));
    }
    void TearDown() override {
        if (mounted_) ::umount(second.c_str());
    }
    void MountSmallDisk() {
        ASSERT_EQ(::mount("tmpfs", second.c_str(), "tmpfs", 0, "size=1m,mode=0755"), 0) << "mount needs root";
        mounted_ = true;
    }
    // The message of what the copy raised; empty when it raised nothing.
    std::string FailureOf(const std::string& folder, const std::string& name, std::uint32_t limit = 60) {
        try {
            copier.CopyChecked(backup, folder, name, limit);
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return {};
    }
    static std::vector<std::string> Entries(const std::string& folder) {
        std::vector<std::string> entries = FilesLike(folder, ".*");
        std::sort(entries.begin(), entries.end());
        return entries;
    }

    test::ScratchFolder scratch{"checkedcopy"};
    const std::string backup = scratch / "EMP1 20261210.GBK";
    const std::string second = scratch / "copias";
    posix::PosixCheckedCopier copier;

private:
    bool mounted_ = false;
};

TEST_F(PosixCheckedCopy, LandsWholeUnderItsNameWithoutTheTemporaryFile) {
    copier.CopyChecked(backup, second + "/", "EMP1.GBK", 60);
    EXPECT_EQ(ReadFile(second + "/EMP1.GBK"), ReadFile(backup));
    EXPECT_EQ(Entries(second), std::vector<std::string>{second + "/EMP1.GBK"});
    struct stat info {};
    ASSERT_EQ(::stat((second + "/EMP1.GBK").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);

    // An empty backup is copied as one too.
    WriteFile(backup, "");
    copier.CopyChecked(backup, second, "VACIO.GBK", 60);
    EXPECT_EQ(ReadFile(second + "/VACIO.GBK"), "");
}

TEST_F(PosixCheckedCopy, NeverReplacesAFileOfTheFinalName) {
    WriteFile(second + "/EMP1.GBK", "la copia de ayer");
    EXPECT_THAT(FailureOf(second, "EMP1.GBK"), HasSubstr("ya hay un archivo EMP1.GBK en " + second));
    EXPECT_EQ(ReadFile(second + "/EMP1.GBK"), "la copia de ayer");
    EXPECT_EQ(Entries(second), std::vector<std::string>{second + "/EMP1.GBK"});
}

TEST_F(PosixCheckedCopy, RemovesATemporaryFileLeftByACopyCutShortAsANameOnly) {
    const std::string secret = scratch / "secreto";
    WriteFile(secret, "no se toca");
    WriteFile(second + "/EMP1.GBK.tmp", "media copia");
    copier.CopyChecked(backup, second, "EMP1.GBK", 60);
    EXPECT_EQ(ReadFile(second + "/EMP1.GBK"), ReadFile(backup));

    // A link left under the temporary name goes as a name; what it points to stays as it was.
    ASSERT_EQ(::symlink(secret.c_str(), (second + "/EMP2.GBK.tmp").c_str()), 0);
    copier.CopyChecked(backup, second, "EMP2.GBK", 60);
    EXPECT_EQ(ReadFile(secret), "no se toca");
    EXPECT_EQ(Entries(second), (std::vector<std::string>{second + "/EMP1.GBK", second + "/EMP2.GBK"}));
}

TEST_F(PosixCheckedCopy, RefusesAFolderReachedThroughALinkOfAnotherUser) {
    test::TestUser other{"cpy"};
    const std::string link = scratch / "enlace";
    ASSERT_TRUE(other.Act([&] { return ::symlink(second.c_str(), link.c_str()) == 0; }));
    EXPECT_THAT(FailureOf(link, "EMP1.GBK"), HasSubstr("la carpeta " + link + " es un enlace de otro usuario"));
    // A link further up the path counts as much as the last part.
    std::filesystem::create_directory(second + "/sub");
    EXPECT_THAT(FailureOf(link + "/sub", "EMP1.GBK"), HasSubstr("es un enlace de otro usuario"));
    EXPECT_EQ(Entries(second), std::vector<std::string>{second + "/sub"});

    // Nor does a link of this process's own make one of the other user's acceptable behind it.
    const std::string twice = scratch / "doble";
    ASSERT_EQ(::symlink("enlace", twice.c_str()), 0);
    EXPECT_THAT(FailureOf(twice, "EMP1.GBK"), HasSubstr("es un enlace de otro usuario"));
    EXPECT_EQ(Entries(second), std::vector<std::string>{second + "/sub"});

    // This process's own link is followed, its target read from where the link is.
    const std::string own = scratch / "propio";
    ASSERT_EQ(::symlink("copias/./sub/..", own.c_str()), 0);
    copier.CopyChecked(backup, own, "EMP1.GBK", 60);
    EXPECT_EQ(ReadFile(second + "/EMP1.GBK"), ReadFile(backup));
}

TEST_F(PosixCheckedCopy, AFullDiskLeavesNothingBehind) {
    ASSERT_NO_FATAL_FAILURE(MountSmallDisk());
    EXPECT_EQ(FailureOf(second, "EMP1.GBK"), "no hay espacio en " + second);
    EXPECT_THAT(Entries(second), IsEmpty());
}

TEST_F(PosixCheckedCopy, GivesUpBetweenBlocksOnceTheTimeIsOver) {
    posix::PosixCheckedCopier smallBlocks(4096);
    WriteFile(backup, BackupBytes(3 * 4096));
    try {
        smallBlocks.CopyChecked(backup, second, "EMP1.GBK", 0);
        ADD_FAILURE() << "the copy did not give up";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "se superó el tiempo de la copia (0 s)");
    }
    EXPECT_THAT(Entries(second), IsEmpty());
}

TEST_F(PosixCheckedCopy, RefusesWhatItWasNotGivenWhole) {
    EXPECT_EQ(FailureOf("", "EMP1.GBK"), "no se indicó la carpeta de la copia");
    for (const char* name : {"", ".", "..", "../EMP1.GBK", "sub/EMP1.GBK"})
        EXPECT_EQ(FailureOf(second, name), std::string("el nombre de la copia no es válido: ") + name);
    // A name that only begins with dots is a name of the folder.
    copier.CopyChecked(backup, second, "..EMP1.GBK", 60);
    ::unlink((second + "/..EMP1.GBK").c_str());

    ::unlink(backup.c_str());
    EXPECT_THAT(FailureOf(second, "EMP1.GBK"), HasSubstr("no se puede leer el Backup " + backup + ": "));
    EXPECT_THAT(Entries(second), IsEmpty());
}

} // namespace
} // namespace veltor
