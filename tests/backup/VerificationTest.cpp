// What verification reads from a backup's output and how it compares it with the restored copy.

#include "backup/Verification.h"

#include <gtest/gtest.h>

namespace veltor::test {
namespace {

TEST(BackupOutput, TablesAndRowsAreTheLastCountOfEachTable) {
    const TableRows rows = TableRowsOfBackupOutput(
        {"gbak:writing tables ", "gbak:    writing table MOVS ", "gbak:    writing data for table EMPTY1 ",
         "gbak:0 records written ", "gbak:    writing data for table lower t ", "gbak:1 records written ",
         "gbak:    writing data for table MOVS ", "gbak:10000 records written ", "gbak:45002 records written ",
         "gbak:writing security classes "});
    EXPECT_EQ(rows, (TableRows{{"EMPTY1", 0}, {"lower t", 1}, {"MOVS", 45002}}));
    EXPECT_EQ(CompareTableRows(rows, rows), "");
    EXPECT_EQ(CompareTableRows(rows, {{"EMPTY1", 0}, {"MOVS", 45001}, {"OTRA", 3}}),
              "la tabla MOVS tiene 45001 filas en lugar de 45002; falta la tabla lower t; la tabla OTRA no está en el "
              "Backup");
    EXPECT_EQ(ScratchDatabaseName("/b/UNO-20261207-1245.GBK"), "/b/UNO-20261207-1245-Verifica.FDB");
    EXPECT_FALSE(OutputWithoutWords({"gbak:writing tables ", "gbak:closing file, committing, and finishing. "}));
    EXPECT_TRUE(OutputWithoutWords({"can't format message 12:169 -- message system code -6can't format message "
                                    "12:166 -- message system code -6 "}));
}

} // namespace
} // namespace veltor::test
