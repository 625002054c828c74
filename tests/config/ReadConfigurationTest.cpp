#include "config/Global.h"
#include "tests/support/FakeFileSystem.h"
#include "tests/support/FakeMessageBox.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace veltor {
namespace {

using test::FakeFileSystem;
using test::FakeMessageBox;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kNotFound = "No se encontró el archivo ADMINBD.inf";
const std::string kIncorrect = "Parámetros Incorrectos del Archivo ADMINBD.inf";

ConfigurationRules LinuxRules() {
    ConfigurationRules rules;
    rules.upperCaseValues = false;
    rules.defaultBackupFolder = "/var/lib/veltor/Backups/";
    rules.defaultBackupParent = "/var/lib/veltor/";
    rules.pathSeparator = '/';
    return rules;
}

class ReadConfiguration : public ::testing::Test {
protected:
    void Write(const std::string& bytes) { files.AddFile("ADMINBD.inf", bytes); }

    FakeFileSystem files;
    FakeMessageBox boxes;
    TGlobal global{files, boxes, ConfigurationRules{}};
};

TEST_F(ReadConfiguration, ReadsEveryKeyAndUpperCasesValues) {
    Write("RUTABD=d:\\bases\\admin.fdb\r\nSERVIDOR=server1\r\nRUTABACKUP=e:\\copias\\\r\n"
          "TIMERBACKUPLICENCE=01:00\r\nPREDETERMINADO=s\r\nRUTACLBD=c:\\cliente\\cl.fdb\r\n");
    global.ReadConfiguration();
    EXPECT_EQ(global.AdminConnection, "SERVER1:D:\\BASES\\ADMIN.FDB");
    EXPECT_EQ(global.ServerName, "SERVER1");
    EXPECT_EQ(global.BackupFolder, "E:\\COPIAS\\");
    EXPECT_EQ(global.BackupTimerPeriod, "01:00");
    EXPECT_EQ(global.DefaultFlag, "S");
    EXPECT_EQ(global.ClientDatabasePath, "C:\\CLIENTE\\CL.FDB");
    EXPECT_THAT(boxes.shown, IsEmpty());
}

TEST_F(ReadConfiguration, KeysAreRecognisedInAnyCaseAfterStrippingBlanksAndControls) {
    Write("  servidor=host\r\n\t RutaBackup=  e:\\x\\ \t\r\n");
    global.ReadConfiguration();
    EXPECT_EQ(global.ServerName, "HOST");
    EXPECT_EQ(global.AdminConnection, "HOST:");
    EXPECT_EQ(global.BackupFolder, "E:\\X\\");
}

TEST_F(ReadConfiguration, OnlyLettersAToZAreUpperCased) {
    Write("SERVIDOR=s\nRUTABACKUP=e:\\compañía\\\nRUTACLBD=mamá\n");
    global.ReadConfiguration();
    EXPECT_EQ(global.BackupFolder, "E:\\COMPAñíA\\");
    // Bytes of accented letters are not blanks, even at the end of a line.
    EXPECT_EQ(global.ClientDatabasePath, "MAMá");
}

TEST_F(ReadConfiguration, LinuxRulesKeepTheCaseOfValues) {
    TGlobal linux(files, boxes, LinuxRules());
    Write("rutabd=/srv/Bases/Admin.fdb\nservidor=Host1\nRutaBackup=/srv/Copias/\n");
    linux.ReadConfiguration();
    EXPECT_EQ(linux.ServerName, "Host1");
    EXPECT_EQ(linux.AdminConnection, "Host1:/srv/Bases/Admin.fdb");
    EXPECT_EQ(linux.BackupFolder, "/srv/Copias/");
}

TEST_F(ReadConfiguration, LinuxRulesDefaultTheBackupFolderToTheirOwn) {
    TGlobal linux(files, boxes, LinuxRules());
    Write("SERVIDOR=h\n");
    linux.ReadConfiguration();
    EXPECT_EQ(linux.BackupFolder, "/var/lib/veltor/Backups/");
}

TEST_F(ReadConfiguration, BlankBeforeEqualsSignIsNotAKey) {
    Write("SERVIDOR =host\r\nRUTABD =x\r\n");
    global.ReadConfiguration();
    EXPECT_EQ(global.ServerName, "");
    EXPECT_EQ(global.AdminConnection, "");
    EXPECT_THAT(boxes.shown, ElementsAre(kIncorrect));
}

TEST_F(ReadConfiguration, EmptyServerValueStillComposesTheConnection) {
    Write("RUTABD=c:\\admin.fdb\nSERVIDOR=\n");
    global.ReadConfiguration();
    EXPECT_EQ(global.ServerName, "");
    EXPECT_EQ(global.AdminConnection, ":C:\\ADMIN.FDB");
    EXPECT_THAT(boxes.shown, IsEmpty());
}

TEST_F(ReadConfiguration, DatabasePathAfterServerDoesNotReachTheConnection) {
    Write("SERVIDOR=s\nRUTABD=c:\\admin.fdb\n");
    global.ReadConfiguration();
    EXPECT_EQ(global.AdminConnection, "S:");
    EXPECT_THAT(boxes.shown, IsEmpty());
}

TEST_F(ReadConfiguration, EachServerLineComposesFromThePathLastSeenAboveIt) {
    Write("RUTABD=a\nSERVIDOR=s1\nRUTABD=b\nSERVIDOR=s2\nRUTABACKUP=x\nRUTABACKUP=y\n");
    global.ReadConfiguration();
    EXPECT_EQ(global.AdminConnection, "S2:B");
    EXPECT_EQ(global.BackupFolder, "Y");
}

TEST_F(ReadConfiguration, DatabasePathIsForgottenBetweenReads) {
    Write("RUTABD=a\nSERVIDOR=s1\n");
    global.ReadConfiguration();
    Write("SERVIDOR=s2\n");
    global.ReadConfiguration();
    EXPECT_EQ(global.AdminConnection, "S2:");
}

TEST_F(ReadConfiguration, RemovedKeysKeepEarlierValuesExceptTheBackupFolder) {
    Write("RUTABD=a\nSERVIDOR=s1\nRUTABACKUP=e:\\copias\\\nTIMERBACKUPLICENCE=01:00\nPREDETERMINADO=S\nRUTACLBD=c\n");
    global.ReadConfiguration();
    Write("; nothing left\n");
    global.ReadConfiguration();
    EXPECT_EQ(global.ServerName, "S1");
    EXPECT_EQ(global.AdminConnection, "S1:A");
    EXPECT_EQ(global.BackupTimerPeriod, "01:00");
    EXPECT_EQ(global.DefaultFlag, "S");
    EXPECT_EQ(global.ClientDatabasePath, "C");
    EXPECT_EQ(global.BackupFolder, "C:\\Datos Veltor\\Backups\\");
    // The connection from the earlier read counts: no box.
    EXPECT_THAT(boxes.shown, IsEmpty());
}

TEST_F(ReadConfiguration, CtrlZAtTheStartOfALineEndsTheFile) {
    Write("SERVIDOR=a\r\n\x1aSERVIDOR=b\r\nRUTABACKUP=z\r\n");
    global.ReadConfiguration();
    EXPECT_EQ(global.ServerName, "A");
    EXPECT_EQ(global.BackupFolder, "C:\\Datos Veltor\\Backups\\");
}

TEST_F(ReadConfiguration, CtrlZInsideALineIsAnOrdinaryCharacter) {
    Write("RUTACLBD=x\x1ay\nTIMERBACKUPLICENCE=01:00\x1a\nSERVIDOR=s\n");
    global.ReadConfiguration();
    EXPECT_EQ(global.ClientDatabasePath, "X\x1aY");
    EXPECT_EQ(global.BackupTimerPeriod, "01:00");
    EXPECT_EQ(global.ServerName, "S");
}

TEST_F(ReadConfiguration, CarriageReturnIsDroppedWhereverItStands) {
    Write("SERV\rIDOR=a\r\r\nRUTABACKUP=b\rTIMERBACKUPLICENCE=c\n");
    global.ReadConfiguration();
    EXPECT_EQ(global.ServerName, "A");
    // A CR alone does not end the line.
    EXPECT_EQ(global.BackupFolder, "BTIMERBACKUPLICENCE=C");
    EXPECT_EQ(global.BackupTimerPeriod, "");
}

TEST_F(ReadConfiguration, VeryLongLinesAcrossManyReadsAreReadWhole) {
    const std::string longValue(100000, 'q');
    files.readChunk = 7;
    Write("RUTACLBD=" + longValue + "\r\nSERVIDOR=s\r\n" + std::string(50000, ' ') + "RUTABACKUP=b\r\n");
    global.ReadConfiguration();
    EXPECT_EQ(global.ClientDatabasePath, std::string(100000, 'Q'));
    EXPECT_EQ(global.ServerName, "S");
    EXPECT_EQ(global.BackupFolder, "B");
}

TEST_F(ReadConfiguration, LastLineNeedsNoLineEnd) {
    Write("RUTABD=p\nSERVIDOR=s");
    global.ReadConfiguration();
    EXPECT_EQ(global.AdminConnection, "S:P");
}

TEST_F(ReadConfiguration, EmptyFileShowsIncorrectParametersAndSetsTheDefaultFolder) {
    Write("");
    global.ReadConfiguration();
    EXPECT_THAT(boxes.shown, ElementsAre(kIncorrect));
    EXPECT_EQ(global.BackupFolder, "C:\\Datos Veltor\\Backups\\");
}

TEST_F(ReadConfiguration, MissingFileAndTemplateShowNotFoundAndChangeNothing) {
    global.ReadConfiguration();
    EXPECT_THAT(boxes.shown, ElementsAre(kNotFound));
    EXPECT_EQ(global.BackupFolder, "");
    EXPECT_EQ(global.AdminConnection, "");
}

TEST_F(ReadConfiguration, FileThatDisappearsKeepsTheValuesOfTheLastRead) {
    Write("SERVIDOR=s\nRUTABACKUP=e:\\c\\\n");
    global.ReadConfiguration();
    files.files.erase("ADMINBD.inf");
    global.ReadConfiguration();
    EXPECT_THAT(boxes.shown, ElementsAre(kNotFound));
    EXPECT_EQ(global.ServerName, "S");
    EXPECT_EQ(global.BackupFolder, "E:\\C\\");
}

TEST_F(ReadConfiguration, MissingFileIsCopiedFromTheTemplate) {
    files.AddFile("ADMINBD.cop", "SERVIDOR=desde_plantilla\n");
    global.ReadConfiguration();
    EXPECT_EQ(global.ServerName, "DESDE_PLANTILLA");
    EXPECT_EQ(files.Content("ADMINBD.inf"), "SERVIDOR=desde_plantilla\n");
    EXPECT_THAT(boxes.shown, IsEmpty());
}

TEST_F(ReadConfiguration, TemplateIsIgnoredWhileTheFileExists) {
    files.AddFile("ADMINBD.cop", "SERVIDOR=plantilla\n");
    Write("SERVIDOR=propio\n");
    global.ReadConfiguration();
    EXPECT_EQ(global.ServerName, "PROPIO");
    EXPECT_THAT(files.copies, IsEmpty());
}

TEST_F(ReadConfiguration, FailedCopyShowsOnlyNotFound) {
    files.AddFile("ADMINBD.cop", "SERVIDOR=s\n");
    files.copyFails.insert("ADMINBD.inf");
    global.ReadConfiguration();
    EXPECT_THAT(boxes.shown, ElementsAre(kNotFound));
}

TEST_F(ReadConfiguration, UnopenableFileShowsNotFound) {
    Write("SERVIDOR=s\n");
    files.unreadable.insert("ADMINBD.inf");
    global.ReadConfiguration();
    EXPECT_THAT(boxes.shown, ElementsAre(kNotFound));
    EXPECT_EQ(global.ServerName, "");
    EXPECT_EQ(global.BackupFolder, "");
}

TEST_F(ReadConfiguration, ReadErrorInTheMiddleKeepsWhatCameBeforeIt) {
    const std::string head = "RUTABD=p\nSERVIDOR=s\n";
    Write(head + "RUTABACKUP=e:\\c\\\nTIMERBACKUPLICENCE=01:00\n");
    files.readChunk = 3;
    files.readFailsAfter["ADMINBD.inf"] = head.size() + 4;
    global.ReadConfiguration();
    EXPECT_THAT(boxes.shown, ElementsAre(kNotFound));
    EXPECT_EQ(global.AdminConnection, "S:P");
    EXPECT_EQ(global.BackupFolder, "C:\\Datos Veltor\\Backups\\");
    EXPECT_EQ(global.BackupTimerPeriod, "");
}

TEST_F(ReadConfiguration, FailingMessageBoxDoesNotEscape) {
    boxes.onShow = [](const std::string&) { throw std::runtime_error("no display"); };
    EXPECT_NO_THROW(global.ReadConfiguration());
    Write("");
    EXPECT_NO_THROW(global.ReadConfiguration());
}

} // namespace
} // namespace veltor
