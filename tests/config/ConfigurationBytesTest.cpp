// ADMINBD.inf with every byte value: inside a value, and in front of a key.

#include "config/Global.h"
#include "tests/support/FakeFileSystem.h"
#include "tests/support/FakeMessageBox.h"

#include <gtest/gtest.h>

namespace veltor {
namespace {

struct Read {
    explicit Read(const std::string& bytes) {
        files.AddFile("ADMINBD.inf", bytes);
        global.ReadConfiguration();
    }
    test::FakeFileSystem files;
    test::FakeMessageBox boxes;
    TGlobal global{files, boxes, ConfigurationRules{}};
};

TEST(ConfigurationBytes, EveryByteButALineEndInsideAValueIsKeptWithLettersUpperCased) {
    std::string all;
    std::string expected = "<";
    for (int b = 0; b < 256; ++b) {
        if (b == '\n') continue;
        all += static_cast<char>(b);
        // A CR is dropped wherever it stands; only a to z become capitals.
        if (b != '\r') expected += static_cast<char>(b >= 'a' && b <= 'z' ? b - 'a' + 'A' : b);
    }
    expected += ">";
    // The last line has no line end and is read all the same.
    Read read("RUTACLBD=<" + all + ">\r\nSERVIDOR=s");
    EXPECT_EQ(read.global.ClientDatabasePath, expected);
    EXPECT_EQ(read.global.ServerName, "S");
    EXPECT_TRUE(read.boxes.shown.empty());
}

TEST(ConfigurationBytes, EveryByteInFrontOfAKey) {
    for (int b = 0; b < 256; ++b) {
        Read read(std::string(1, static_cast<char>(b)) + "SERVIDOR=s\r\nRUTABACKUP=f\r\n");
        SCOPED_TRACE(b);
        if (b == 26) {
            // Ctrl-Z at the start of a line ends the file before the key.
            EXPECT_EQ(read.global.ServerName, "");
            EXPECT_EQ(read.global.BackupFolder, "C:\\Datos Veltor\\Backups\\");
        } else if (b <= 32) {
            // Blanks and control characters are stripped; a CR is dropped, a LF ends an empty line.
            EXPECT_EQ(read.global.ServerName, "S");
            EXPECT_EQ(read.global.BackupFolder, "F");
        } else {
            EXPECT_EQ(read.global.ServerName, "");
            EXPECT_EQ(read.global.BackupFolder, "F");
        }
    }
}

} // namespace
} // namespace veltor
