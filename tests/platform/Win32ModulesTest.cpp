// The configuration module and the month log over the Windows file system: ADMINBD.inf in the
// current folder, the month file's bytes and its sharing with other writers and readers.
#include "activity/ActivityLog.h"
#include "config/Global.h"
#include "platform/win32/Win32Platform.h"
#include "ports/Errors.h"
#include "tests/support/FakeActivityView.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/FakeRegionalFormats.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace veltor {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace fs = std::filesystem;

constexpr std::uint32_t kErrorSharingViolation = 32;

// A fresh folder under the user's temporary folder, which the test makes current.
class Win32Folder : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        previous_ = fs::current_path();
        folder = (fs::temp_directory_path() / ("veltor-" + std::to_string(random()))).string();
        fs::create_directories(folder);
        fs::current_path(folder);
    }
    void TearDown() override {
        fs::current_path(previous_);
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    std::string In(const std::string& name) const { return folder + "\\" + name; }
    static void Put(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string Bytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::string folder;
    win32::Win32FileSystem files;

private:
    fs::path previous_;
};

class Win32Configuration : public Win32Folder {
protected:
    test::FakeMessageBox boxes;
    TGlobal global{files, boxes, win32::WindowsConfigurationRules()};
};

TEST_F(Win32Configuration, TemplateIsCopiedAndValuesComeOutInCapitals) {
    // Written by Notepad: CR LF lines, an accented letter in the ANSI code page, a final Ctrl-Z.
    const std::string text = "RutaBD=d:\\bases\\admin.fdb\r\nServidor=server1\r\nRUTABACKUP=e:\\copias a\xF1o\\\r\n\x1A"
                             "SERVIDOR=late\r\n";
    Put(In("ADMINBD.cop"), text);
    global.ReadConfiguration();
    EXPECT_EQ(Bytes(In("ADMINBD.inf")), text);
    EXPECT_EQ(global.AdminConnection, "SERVER1:D:\\BASES\\ADMIN.FDB");
    EXPECT_EQ(global.BackupFolder, "E:\\COPIAS A\xF1O\\");
    EXPECT_THAT(boxes.shown, IsEmpty());
}

TEST_F(Win32Configuration, ExistingFileWinsOverTheTemplateAndMissingFilesAreReported) {
    global.ReadConfiguration();
    EXPECT_THAT(boxes.shown, ElementsAre("No se encontró el archivo ADMINBD.inf"));
    EXPECT_EQ(global.BackupFolder, "");

    Put(In("ADMINBD.cop"), "SERVIDOR=plantilla\r\n");
    Put(In("ADMINBD.inf"), "SERVIDOR=propio\r\n");
    global.ReadConfiguration();
    EXPECT_EQ(global.ServerName, "PROPIO");
    EXPECT_EQ(global.BackupFolder, "C:\\Datos Veltor\\Backups\\");
    EXPECT_EQ(Bytes(In("ADMINBD.inf")), "SERVIDOR=propio\r\n");
}

class Win32MonthLog : public Win32Folder {
protected:
    test::FakeClock clock;
    test::FakeRegionalFormats formats;
    test::FakeActivityView view;
    ActivityLog log{files, clock, formats, view};
    std::string backupFolder() const { return folder + "\\"; }
    std::string path() const { return In("Log Backup Veltor 202612.txt"); }
};

TEST_F(Win32MonthLog, LinesAreWindows1252EndedByCrLfAndAppended) {
    log.OpenMonthLog(backupFolder());
    log.WriteLogLine(" ");
    log.WriteLogLine(log.StampPrefix() + " Inicio Backup: ===> ");
    log.CloseMonthLog();
    log.OpenMonthLog(backupFolder());
    log.WriteLogLine(" Verifique que no se esté realizando otro proceso");
    log.CloseMonthLog();
    EXPECT_EQ(Bytes(path()), " \r\n07/12/2026 - 12:45:03 Inicio Backup: ===> \r\n"
                             " Verifique que no se est\xE9 realizando otro proceso\r\n");
}

TEST_F(Win32MonthLog, AnotherWriterIsRefusedByTheShareModeWhileReadersGetIn) {
    ActivityLog other(files, clock, formats, view);
    log.OpenMonthLog(backupFolder());
    log.WriteLogLine("uno");
    try {
        other.OpenMonthLog(backupFolder());
        FAIL() << "the second writer was let in";
    } catch (const OsError& e) {
        EXPECT_EQ(e.code(), kErrorSharingViolation);
        EXPECT_EQ(other.lastMonthLogPath(), path());
    }
    // Another program may read the file meanwhile.
    std::ifstream reader(path(), std::ios::binary);
    EXPECT_TRUE(reader.is_open());
    log.CloseMonthLog();
    other.OpenMonthLog(backupFolder());
    other.WriteLogLine("dos");
    other.CloseMonthLog();
    EXPECT_EQ(Bytes(path()), "uno\r\ndos\r\n");
}

TEST_F(Win32MonthLog, MissingBackupFolderIsRaised) {
    EXPECT_THROW(log.OpenMonthLog(In("no-existe\\")), OsError);
    EXPECT_EQ(log.lastMonthLogPath(), In("no-existe\\Log Backup Veltor 202612.txt"));
}

} // namespace
} // namespace veltor
