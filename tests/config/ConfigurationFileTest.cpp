// ADMINBD.inf through the real file system, in the current directory.
#include "config/Global.h"
#include "platform/posix/PosixPlatform.h"
#include "tests/support/CatalogueFixture.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/ScratchFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace veltor::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The configuration is found by a relative name: work inside a scratch folder, then go back.
class ConfigurationFile : public ::testing::Test {
protected:
    ScratchFolder folder{"config"};
    CurrentDirectory inside{folder.path()};
    posix::PosixFileSystem files;
    FakeMessageBox boxes;
    TGlobal global{files, boxes, posix::LinuxConfigurationRules()};
};

TEST_F(ConfigurationFile, TemplateIsCopiedAndReadWithCaseKept) {
    const std::string text = "RutaBD=/srv/Bases/Admin.fdb\r\nServidor=Host1\r\n";
    WriteFile(folder / "ADMINBD.cop", text);
    global.ReadConfiguration();
    EXPECT_EQ(ReadFile(folder / "ADMINBD.inf"), text);
    EXPECT_EQ(global.AdminConnection, "Host1:/srv/Bases/Admin.fdb");
    EXPECT_EQ(global.BackupFolder, "/var/lib/veltor/Backups/");
    EXPECT_THAT(boxes.shown, IsEmpty());
}

TEST_F(ConfigurationFile, ExistingFileIsNeverOverwrittenByTheTemplate) {
    WriteFile(folder / "ADMINBD.cop", "SERVIDOR=plantilla\n");
    WriteFile(folder / "ADMINBD.inf", "SERVIDOR=propio\n");
    global.ReadConfiguration();
    EXPECT_EQ(global.ServerName, "propio");
    EXPECT_EQ(ReadFile(folder / "ADMINBD.inf"), "SERVIDOR=propio\n");
}

TEST_F(ConfigurationFile, NeitherFileShowsNotFound) {
    global.ReadConfiguration();
    EXPECT_THAT(boxes.shown, ElementsAre("No se encontró el archivo ADMINBD.inf"));
    EXPECT_FALSE(files.FileExists(folder / "ADMINBD.inf"));
}

TEST_F(ConfigurationFile, FolderInPlaceOfTheFileShowsNotFound) {
    ASSERT_EQ(mkdir((folder / "ADMINBD.inf").c_str(), 0777), 0);
    global.ReadConfiguration();
    EXPECT_THAT(boxes.shown, ElementsAre("No se encontró el archivo ADMINBD.inf"));
}

} // namespace
} // namespace veltor::test
