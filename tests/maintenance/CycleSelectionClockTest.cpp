// The cycle's company selection on a real catalogue with the clock fixed: the catalogue is an
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

namespace veltor {
namespace {

struct Selection {
    std::string clock;              // "DIA|HORA|ANNO"
    std::vector<std::string> codes; // sorted
};

Selection Probe(const std::string& database, const std::string& now, bool restoreNow) {
    const std::string command =
        std::string(VELTOR_CYCLE_PROBE) + " '" + database + "' " + (restoreNow ? "now" : "timer");
    std::vector<std::string> lines = test::RunProbe(command, now, true);
    Selection selection;
    if (!lines.empty()) {
        selection.clock = lines.front();
        selection.codes.assign(lines.begin() + 1, lines.end());
    }
    std::sort(selection.codes.begin(), selection.codes.end());
    return selection;
}

using Codes = std::vector<std::string>;

class CycleSelectionClock : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = std::make_unique<test::ScratchFolder>("cycle-selection");
        catalogue = *folder / "clock.fdb";
        const char* data = std::getenv("VELTOR_TEST_DATA");
        ASSERT_NE(data, nullptr) << "VELTOR_TEST_DATA is not set";
        // CODIGO, ANOFIS, REALIZARESTORE, weekday flags from Monday to Sunday, HORARESTORE
        const char* rows[][6] = {
            {"'MARTES1430'", "'2020'", "'S'", "'NSNNNNN'", "'14:30'"},
            {"'MARTES1401'", "'2020'", "'S'", "'NSNNNNN'", "'14:01'"},
            {"'MARTES1400'", "'2020'", "'S'", "'NSNNNNN'", "'14:00'"},
            {"'MARTES1431'", "'2020'", "'S'", "'NSNNNNN'", "'14:31'"},
            {"'LUNES1430'", "'2020'", "'S'", "'SNNNNNN'", "'14:30'"},
            {"'SINRESTORE'", "'2020'", "'N'", "'SSSSSSS'", "'14:30'"},
            {"'SINHORA'", "'2020'", "'S'", "'SSSSSSS'", "NULL"},
            {"'NULOS'", "'2020'", "NULL", "'SSSSSSS'", "'14:30'"},
            {"'MEDIANOCHE'", "'2020'", "'S'", "'NSNSNNN'", "'00:00'"},
            {"'NOCHE'", "'2020'", "'S'", "'NSNSNNN'", "'23:50'"},
            {"'ANOACTUAL'", "'2026'", "'N'", "'NNNNNNN'", "NULL"},
        };
        std::string script = "CREATE DATABASE '" + catalogue + "' USER 'SYSDBA' PASSWORD '" + test::kAdminPassword +
                             "';\nINPUT '" + std::string(data) +
                             "/empresas.sql';\n"
                             "ALTER TABLE EMPRESAS ADD REALIZARESTORE CHAR(1), ADD RESTORELUNES CHAR(1), ADD "
                             "RESTOREMARTES CHAR(1), ADD RESTOREMIERCOLES CHAR(1), ADD RESTOREJUEVES CHAR(1), ADD "
                             "RESTOREVIERNES CHAR(1), ADD RESTORESABADO CHAR(1), ADD RESTOREDOMINGO CHAR(1), ADD "
                             "HORARESTORE CHAR(13), ADD FECHAULTRESTORE TIMESTAMP, ADD HORAULTRESTORE VARCHAR(13);\n"
                             "COMMIT;\n";
        int id = 1;
        for (const auto& row : rows) {
            const std::string flags = std::string(row[3]).substr(1, 7);
            script += "INSERT INTO EMPRESAS (EMPRESAID, CODIGO, ANOFIS, REALIZARESTORE, RESTORELUNES, RESTOREMARTES, "
                      "RESTOREMIERCOLES, RESTOREJUEVES, RESTOREVIERNES, RESTORESABADO, RESTOREDOMINGO, HORARESTORE) "
                      "VALUES (" +
                      std::to_string(id++) + ", " + row[0] + ", " + row[1] + ", " + row[2];
            for (char flag : flags)
                script += std::string(", '") + flag + "'";
            script += std::string(", ") + row[4] + ");\n";
        }
        test::RunIsql(script + "COMMIT;");
    }
    static void TearDownTestSuite() { folder.reset(); }

    static inline std::unique_ptr<test::ScratchFolder> folder;
    static inline std::string catalogue;
};

// 2026-12-08 is a Tuesday.
TEST_F(CycleSelectionClock, TimerWindowHoldsTheHalfHourUpToTheServersMinuteOnItsWeekdayOnly) {
    const Selection tuesday = Probe(catalogue, "2026-12-08 14:30:00", false);
    EXPECT_EQ(tuesday.clock, "MARTES|14:30|2026");
    EXPECT_EQ(tuesday.codes, (Codes{"MARTES1401", "MARTES1430"}));
    EXPECT_EQ(Probe(catalogue, "2026-12-08 14:31:00", false).codes, (Codes{"MARTES1430", "MARTES1431"}));
    // Monday at the same time: only the Monday flag counts.
    EXPECT_EQ(Probe(catalogue, "2026-12-07 14:30:00", false).codes, (Codes{"LUNES1430"}));
    // Wednesday: no company has its flag.
    EXPECT_EQ(Probe(catalogue, "2026-12-09 14:30:00", false).codes, Codes{});
}

TEST_F(CycleSelectionClock, TimerWindowDoesNotReachBackAcrossMidnight) {
    // Thursday 00:10: 23:50 of the evening before is out, 00:00 is in.
    const Selection thursday = Probe(catalogue, "2026-12-10 00:10:00", false);
    EXPECT_EQ(thursday.clock, "JUEVES|0:10|2026");
    EXPECT_EQ(thursday.codes, (Codes{"MEDIANOCHE"}));
}

TEST_F(CycleSelectionClock, ImmediateRunTakesEveryFlaggedCompanyAndEveryCompanyOfTheServersYear) {
    EXPECT_EQ(Probe(catalogue, "2026-12-09 03:00:00", true).codes,
              (Codes{"ANOACTUAL", "LUNES1430", "MARTES1400", "MARTES1401", "MARTES1430", "MARTES1431", "MEDIANOCHE",
                     "NOCHE", "SINHORA"}));
    EXPECT_EQ(Probe(catalogue, "2027-01-04 03:00:00", true).codes.size(), 8u);
}

} // namespace
} // namespace veltor
