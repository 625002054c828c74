// The checked copy into a second folder through the Windows file API (run under Wine here).
#include "platform/win32/Win32CheckedCopier.h"
#include "ports/Errors.h"

#include "platform/win32/WinApi.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace veltor::win32 {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace fs = std::filesystem;

class Win32CheckedCopy : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        scratch = (fs::temp_directory_path() / ("veltor-copy-" + std::to_string(random()))).string();
        second = scratch + "\\copias";
        fs::create_directories(second);
        // Not a multiple of the sector, so the unbuffered read-back ends on a short read.
        std::string bytes(3 * 4096 * 100 + 777, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>((i * 7919) >> 3);
        Put(backup(), bytes);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(scratch, ignored);
    }

    std::string backup() const { return scratch + "\\EMP1 20261210.GBK"; }
    static void Put(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string Read(const std::string& path) {
        std::ostringstream bytes;
        bytes << std::ifstream(path, std::ios::binary).rdbuf();
        return bytes.str();
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(second))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string FailureOf(const std::string& folder, const std::string& name, std::uint32_t limit = 60) {
        try {
            copier.CopyChecked(backup(), folder, name, limit);
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return {};
    }

    std::string scratch;
    std::string second;
    Win32CheckedCopier copier{64 * 1024};
};

TEST_F(Win32CheckedCopy, LandsCheckedUnderItsNameOverALeftOverTemporaryFile) {
    Put(second + "\\EMP1.GBK.tmp", "media copia");
    copier.CopyChecked(backup(), second + "\\", "EMP1.GBK", 60);
    EXPECT_EQ(Read(second + "\\EMP1.GBK"), Read(backup()));
    EXPECT_THAT(Names(), ElementsAre("EMP1.GBK"));
}

TEST_F(Win32CheckedCopy, KeepsAFileOfTheFinalName) {
    Put(second + "\\EMP1.GBK", "la copia de ayer");
    EXPECT_THAT(FailureOf(second, "EMP1.GBK"), HasSubstr("ya hay un archivo EMP1.GBK en " + second));
    EXPECT_EQ(Read(second + "\\EMP1.GBK"), "la copia de ayer");
    EXPECT_THAT(Names(), ElementsAre("EMP1.GBK"));
}

TEST_F(Win32CheckedCopy, GivesUpBetweenBlocksOnceTheTimeIsOver) {
    EXPECT_EQ(FailureOf(second, "EMP1.GBK", 0), "se superó el tiempo de la copia (0 s)");
    EXPECT_THAT(Names(), IsEmpty());
}

TEST_F(Win32CheckedCopy, RefusesWhatItWasNotGivenWhole) {
    EXPECT_EQ(FailureOf("", "EMP1.GBK"), "no se indicó la carpeta de la copia");
    for (const char* name : {"", ".", "..", "..\\EMP1.GBK", "sub/EMP1.GBK", "C:EMP1.GBK"})
        EXPECT_EQ(FailureOf(second, name), std::string("el nombre de la copia no es válido: ") + name);
    fs::remove(backup());
    EXPECT_THAT(FailureOf(second, "EMP1.GBK"), HasSubstr("no se puede leer el Backup " + backup() + ": "));
    EXPECT_THAT(Names(), IsEmpty());
}

TEST_F(Win32CheckedCopy, RefusesAFolderThatIsALink) {
    const std::string link = scratch + "\\enlace";
    if (!CreateSymbolicLinkA(link.c_str(), second.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY))
        GTEST_SKIP() << "no symbolic link here: " << GetLastError();
    const DWORD attributes = GetFileAttributesA(link.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        GTEST_SKIP() << "links are not reparse points here: only Windows shows the refusal";
    EXPECT_THAT(FailureOf(link, "EMP1.GBK"), HasSubstr("la carpeta " + link + " es un enlace"));
    EXPECT_THAT(Names(), IsEmpty());
}

} // namespace
} // namespace veltor::win32
