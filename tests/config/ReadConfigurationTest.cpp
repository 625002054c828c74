#include "config/Global.h"
#include "tests/support/FakeFileSystem.h"
#include "tests/support/FakeMessageBox.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace veltor {
namespace {

using test::FakeFileSystem;
using test::FakeMessageBox;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kNotFound = "No se encontró el archivo ADMINBD.inf";
const std::string kIncorrect = "Parámetros Incorrectos del Archivo ADMINBD.inf";

// Rules like those of Linux: values keep their case, and the default folders are their own.
const ConfigurationRules kCaseKept{.upperCaseValues = false,
                                   .defaultBackupFolder = "/srv/veltor/Backups/",
                                   .defaultBackupParent = "/srv/veltor/",
                                   .pathSeparator = '/'};

// What the reads leave: the values a case names (the others are not looked at) and every box.
struct Values {
    std::optional<std::string> server, connection, backupFolder, timerPeriod, defaultFlag, clientPath;
    std::vector<std::string> boxes;
};

// The file's bytes at each read, in order, and what the last read leaves.
struct ReadCase {
    const char* name;
    std::vector<std::string> reads;
    Values after;
    ConfigurationRules rules = {};
};

void PrintTo(const ReadCase& c, std::ostream* out) {
    *out << c.name;
}

const ReadCase kCases[] = {
    {"ReadsEveryKeyAndUpperCasesValues",
     {"RUTABD=d:\\bases\\admin.fdb\r\nSERVIDOR=server1\r\nRUTABACKUP=e:\\copias\\\r\n"
      "TIMERBACKUPLICENCE=01:00\r\nPREDETERMINADO=s\r\nRUTACLBD=c:\\cliente\\cl.fdb\r\n"},
     {.server = "SERVER1",
      .connection = "SERVER1:D:\\BASES\\ADMIN.FDB",
      .backupFolder = "E:\\COPIAS\\",
      .timerPeriod = "01:00",
      .defaultFlag = "S",
      .clientPath = "C:\\CLIENTE\\CL.FDB"}},
    {"KeysAreRecognisedInAnyCaseAfterStrippingBlanksAndControls",
     {"  servidor=host\r\n\t RutaBackup=  e:\\x\\ \t\r\n"},
     {.server = "HOST", .connection = "HOST:", .backupFolder = "E:\\X\\"}},
    // Bytes of accented letters are not blanks, even at the end of a line.
    {"OnlyLettersAToZAreUpperCased",
     {"SERVIDOR=s\nRUTABACKUP=e:\\compañía\\\nRUTACLBD=mamá\n"},
     {.backupFolder = "E:\\COMPAñíA\\", .clientPath = "MAMá"}},
    {"LinuxRulesKeepTheCaseOfValues",
     {"rutabd=/srv/Bases/Admin.fdb\nservidor=Host1\nRutaBackup=/srv/Copias/\n"},
     {.server = "Host1", .connection = "Host1:/srv/Bases/Admin.fdb", .backupFolder = "/srv/Copias/"},
     kCaseKept},
    {"LinuxRulesDefaultTheBackupFolderToTheirOwn",
     {"SERVIDOR=h\n"},
     {.backupFolder = "/srv/veltor/Backups/"},
     kCaseKept},
    {"BlankBeforeEqualsSignIsNotAKey",
     {"SERVIDOR =host\r\nRUTABD =x\r\n"},
     {.server = "", .connection = "", .boxes = {kIncorrect}}},
    {"EmptyServerValueStillComposesTheConnection",
     {"RUTABD=c:\\admin.fdb\nSERVIDOR=\n"},
     {.server = "", .connection = ":C:\\ADMIN.FDB"}},
    {"DatabasePathAfterServerDoesNotReachTheConnection", {"SERVIDOR=s\nRUTABD=c:\\admin.fdb\n"}, {.connection = "S:"}},
    {"EachServerLineComposesFromThePathLastSeenAboveIt",
     {"RUTABD=a\nSERVIDOR=s1\nRUTABD=b\nSERVIDOR=s2\nRUTABACKUP=x\nRUTABACKUP=y\n"},
     {.connection = "S2:B", .backupFolder = "Y"}},
    {"DatabasePathIsForgottenBetweenReads", {"RUTABD=a\nSERVIDOR=s1\n", "SERVIDOR=s2\n"}, {.connection = "S2:"}},
    // The connection from the earlier read counts: no box.
    {"RemovedKeysKeepEarlierValuesExceptTheBackupFolder",
     {"RUTABD=a\nSERVIDOR=s1\nRUTABACKUP=e:\\copias\\\nTIMERBACKUPLICENCE=01:00\nPREDETERMINADO=S\nRUTACLBD=c\n",
      "; nothing left\n"},
     {.server = "S1",
      .connection = "S1:A",
      .backupFolder = "C:\\Datos Veltor\\Backups\\",
      .timerPeriod = "01:00",
      .defaultFlag = "S",
      .clientPath = "C"}},
    {"CtrlZAtTheStartOfALineEndsTheFile",
     {"SERVIDOR=a\r\n\x1aSERVIDOR=b\r\nRUTABACKUP=z\r\n"},
     {.server = "A", .backupFolder = "C:\\Datos Veltor\\Backups\\"}},
    {"CtrlZInsideALineIsAnOrdinaryCharacter",
     {"RUTACLBD=x\x1ay\nTIMERBACKUPLICENCE=01:00\x1a\nSERVIDOR=s\n"},
     {.server = "S", .timerPeriod = "01:00", .clientPath = "X\x1aY"}},
    // A CR alone does not end the line.
    {"CarriageReturnIsDroppedWhereverItStands",
     {"SERV\rIDOR=a\r\r\nRUTABACKUP=b\rTIMERBACKUPLICENCE=c\n"},
     {.server = "A", .backupFolder = "BTIMERBACKUPLICENCE=C", .timerPeriod = ""}},
    {"LastLineNeedsNoLineEnd", {"RUTABD=p\nSERVIDOR=s"}, {.connection = "S:P"}},
    {"EmptyFileShowsIncorrectParametersAndSetsTheDefaultFolder",
     {""},
     {.backupFolder = "C:\\Datos Veltor\\Backups\\", .boxes = {kIncorrect}}},
};

void ExpectNamed(const char* field, const std::string& value, const std::optional<std::string>& named) {
    if (named) {
        EXPECT_EQ(value, *named) << field;
    }
}

class ReadOfFile : public ::testing::TestWithParam<ReadCase> {
protected:
    FakeFileSystem files;
    FakeMessageBox boxes;
};

TEST_P(ReadOfFile, LeavesTheValuesAndBoxes) {
    const ReadCase& c = GetParam();
    TGlobal global(files, boxes, c.rules);
    for (const std::string& bytes : c.reads) {
        files.AddFile("ADMINBD.inf", bytes);
        global.ReadConfiguration();
    }
    const Values& want = c.after;
    ExpectNamed("ServerName", global.ServerName, want.server);
    ExpectNamed("AdminConnection", global.AdminConnection, want.connection);
    ExpectNamed("BackupFolder", global.BackupFolder, want.backupFolder);
    ExpectNamed("BackupTimerPeriod", global.BackupTimerPeriod, want.timerPeriod);
    ExpectNamed("DefaultFlag", global.DefaultFlag, want.defaultFlag);
    ExpectNamed("ClientDatabasePath", global.ClientDatabasePath, want.clientPath);
    EXPECT_EQ(boxes.shown, want.boxes);
}

INSTANTIATE_TEST_SUITE_P(ReadConfiguration, ReadOfFile, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ReadCase>& test) { return std::string(test.param.name); });

class ReadConfiguration : public ::testing::Test {
protected:
    void Write(const std::string& bytes) { files.AddFile("ADMINBD.inf", bytes); }

    FakeFileSystem files;
    FakeMessageBox boxes;
    TGlobal global{files, boxes, ConfigurationRules{}};
};

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
