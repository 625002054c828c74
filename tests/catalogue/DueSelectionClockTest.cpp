// The due-backup selection on a real catalogue with the clock fixed: the catalogue is an
// embedded database (a path without host, so the server's "Now" is the clock of the probe
// process), and the probe runs under faketime.
#include "tests/support/FirebirdServer.h"
#include "tests/support/ProbeProcess.h"
#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace veltor::catalogue {
namespace {

// The selected rows, "CODIGO|HORABACKUP" each, sorted (rows of one company come back in no
// defined order).
std::vector<std::string> Probe(const std::string& database, const std::string& now, const std::string& hours,
                               const std::string& minutes, bool prepare = false) {
    std::string command = std::string(VELTOR_DUE_PROBE) + " '" + database + "' '" + hours + "' '" + minutes + "'";
    if (prepare) command += " prepare";
    std::vector<std::string> rows = test::RunProbe(command, now, false);
    std::sort(rows.begin(), rows.end());
    return rows;
}

using Rows = std::vector<std::string>;

// Creates an embedded catalogue with the suite's table and the scheduling columns.
std::string CreateCatalogue(const test::ScratchFolder& folder, const std::string& name) {
    const std::string path = folder / name;
    const char* data = std::getenv("VELTOR_TEST_DATA");
    EXPECT_NE(data, nullptr) << "VELTOR_TEST_DATA is not set";
    test::RunIsql("CREATE DATABASE '" + path + "' USER 'SYSDBA' PASSWORD '" + test::kAdminPassword + "';\nINPUT '" +
                  std::string(data ? data : ".") + "/empresas.sql';");
    EXPECT_EQ(Probe(path, "", "0", "30", true), Rows{});
    return path;
}

class DueSelection : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = std::make_unique<test::ScratchFolder>("due");
        catalogue = CreateCatalogue(*folder, "clock.fdb");
        // id, CODIGO, REALIZABACKUP, HORABACKUP01..03, FECHAULTBACKUP, HORAULTBACKUP, SOLOBACKUPMENSUAL,
        // DIAMESBACKUP
        const char* rows[][10] = {
            {"1", "'DIARIA'", "'S'", "'12:45'", "NULL", "NULL", "'2026-02-27'", "'12:45'", "'N'", "'00'"},
            {"2", "'EXCLUIDA'", "'N'", "'12:45'", "NULL", "NULL", "NULL", "NULL", "'N'", "'00'"},
            {"3", "'SINCONF'", "NULL", "'12:45'", "NULL", "NULL", "NULL", "NULL", "'N'", "'00'"},
            {"4", "'DIA15'", "'S'", "'12:45'", "NULL", "NULL", "'2026-02-20'", "'12:45'", "'N'", "'15'"},
            {"5", "'DIA30'", "'S'", "'12:45'", "NULL", "NULL", "'2026-02-20'", "'12:45'", "'N'", "'30'"},
            // monthly-only, never backed up; a blank time counts as unset
            {"6", "'MENSUAL'", "'S'", "'12:45'", "NULL", "'  :  '", "NULL", "NULL", "'S'", "'01'"},
            // monthly-only, backed up a week ago
            {"7", "'MENSUALOK'", "'S'", "'12:45'", "NULL", "NULL", "'2026-02-20'", "'12:45'", "'S'", "'01'"},
            {"8", "'DOBLE'", "'S'", "'12:45'", "'12:45'", "NULL", "'2026-02-27'", "'12:45'", "'N'", "'00'"},
            // never backed up, configured for another day
            {"9", "'NUNCA'", "'S'", "NULL", "'12:45'", "NULL", "NULL", "NULL", "'N'", "'15'"},
            {"10", "'NOCHE'", "'S'", "'23:50'", "NULL", "NULL", "'2026-02-27'", "'12:45'", "'N'", "'00'"},
        };
        std::string script = "CONNECT '" + catalogue + "';\n";
        for (const auto& row : rows) {
            script += "INSERT INTO EMPRESAS (EMPRESAID, CODIGO, REALIZABACKUP, HORABACKUP01, HORABACKUP02, "
                      "HORABACKUP03, FECHAULTBACKUP, HORAULTBACKUP, SOLOBACKUPMENSUAL, DIAMESBACKUP) VALUES (";
            for (int i = 0; i < 10; ++i)
                script += std::string(i ? ", " : "") + row[i];
            script += ");\n";
        }
        test::RunIsql(script + "COMMIT;");
    }
    static void TearDownTestSuite() { folder.reset(); }

    static Rows At(const std::string& now, const std::string& hours = "0", const std::string& minutes = "30") {
        return Probe(catalogue, now, hours, minutes);
    }

    static inline std::unique_ptr<test::ScratchFolder> folder;
    static inline std::string catalogue;
};

// Every company whose 12:45 is due on 27 February 2026, with the monthly-only company twice.
const Rows kDueAt1245 = {"DIA30|01/01/1900 12:45",   "DIARIA|01/01/1900 12:45", "DOBLE|01/01/1900 12:45", "MENSUAL|",
                         "MENSUAL|01/01/1900 12:45", "NUNCA|01/01/1900 12:45"};
const Rows kOnlyOverdueMonthly = {"MENSUAL|"};

TEST_F(DueSelection, ThirtyMinuteWindowHoldsTheTimeFromItsClockUpToHalfAnHourLater) {
    EXPECT_EQ(At("2026-02-27 12:44:00"), kOnlyOverdueMonthly);
    EXPECT_EQ(At("2026-02-27 12:45:00"), kDueAt1245);
    EXPECT_EQ(At("2026-02-27 13:00:00"), kDueAt1245);
    EXPECT_EQ(At("2026-02-27 13:14:30"), kDueAt1245);
    EXPECT_EQ(At("2026-02-27 13:15:00"), kDueAt1245);
    EXPECT_EQ(At("2026-02-27 13:16:00"), kOnlyOverdueMonthly);
    EXPECT_EQ(At("2026-02-27 09:00:00"), kOnlyOverdueMonthly);
}

TEST_F(DueSelection, WindowFollowsThePeriodWithBothBoundsIncluded) {
    EXPECT_EQ(At("2026-02-27 13:45:00", "1", "00"), kDueAt1245);
    EXPECT_EQ(At("2026-02-27 13:46:00", "1", "00"), kOnlyOverdueMonthly);
    EXPECT_EQ(At("2026-02-27 12:46:00", "0", "1"), kDueAt1245);
    EXPECT_EQ(At("2026-02-27 12:47:00", "0", "1"), kOnlyOverdueMonthly);
}

TEST_F(DueSelection, DayOfTheMonthAndFebruaryTwentySeventh) {
    // DIA30 is due on 27 February, not the day before; DIA15 only on the 15th.
    EXPECT_EQ(At("2026-02-26 12:50:00"), (Rows{"DIARIA|01/01/1900 12:45", "DOBLE|01/01/1900 12:45", "MENSUAL|",
                                               "MENSUAL|01/01/1900 12:45", "NUNCA|01/01/1900 12:45"}));
    EXPECT_EQ(At("2026-03-14 12:50:00"), (Rows{"DIARIA|01/01/1900 12:45", "DOBLE|01/01/1900 12:45", "MENSUAL|",
                                               "MENSUAL|01/01/1900 12:45", "NUNCA|01/01/1900 12:45"}));
    EXPECT_EQ(At("2026-03-15 12:50:00"),
              (Rows{"DIA15|01/01/1900 12:45", "DIARIA|01/01/1900 12:45", "DOBLE|01/01/1900 12:45", "MENSUAL|",
                    "MENSUAL|01/01/1900 12:45", "NUNCA|01/01/1900 12:45"}));
}

TEST_F(DueSelection, WindowDoesNotWrapAroundMidnight) {
    EXPECT_EQ(At("2026-02-27 23:55:00"), (Rows{"MENSUAL|", "NOCHE|01/01/1900 23:50"}));
    EXPECT_EQ(At("2026-02-28 00:10:00"), kOnlyOverdueMonthly);
}

TEST(DueSelectionDefaults, CurrentYearCompanyIsDueAtBothDefaultTimesAndAnOlderOneOnceOverdue) {
    test::ScratchFolder folder("defaults");
    const std::string path = CreateCatalogue(folder, "defaults.fdb");
    test::RunIsql("CONNECT '" + path +
                  "';\n"
                  "INSERT INTO EMPRESAS (EMPRESAID, CODIGO, ANOFIS) VALUES (1, 'ACTUAL', '2026');\n"
                  "INSERT INTO EMPRESAS (EMPRESAID, CODIGO, ANOFIS) VALUES (2, 'ANTERIOR', '2025');\n"
                  "COMMIT;");
    EXPECT_EQ(Probe(path, "2026-02-27 12:45:00", "0", "30", true),
              (Rows{"ACTUAL|01/01/1900 12:45", "ANTERIOR|", "ANTERIOR|01/01/1900 12:45"}));
    EXPECT_EQ(Probe(path, "2026-02-27 16:00:00", "0", "30"), (Rows{"ANTERIOR|"}));
    EXPECT_EQ(Probe(path, "2026-02-27 20:10:00", "0", "30"), (Rows{"ACTUAL|01/01/1900 20:00", "ANTERIOR|"}));
}

} // namespace
} // namespace veltor::catalogue
