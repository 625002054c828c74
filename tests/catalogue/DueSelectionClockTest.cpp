// The due-backup selection on a real catalogue with the clock fixed: the catalogue is an
// embedded database (a path without host, so the server's "Now" is the clock of the probe
// process), and the probe runs under faketime. The status check's own reading of the same rule
// is held against it there too.
#include "dbserver/FbClientApi.h"
#include "status/Moments.h"
#include "status/StatusCheck.h"
#include "tests/support/FirebirdServer.h"
#include "tests/support/ProbeProcess.h"
#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <utility>
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

// The status check says when a company is late and when it is due next by its own reading of
// the selection's rule. On a grid of clocks (month ends, February, a leap day, around every time
// of the rows and the midnight of the overdue rule) and backup periods, the selection must pick
// exactly the (company, time) pairs for which that reading has a due moment in the window:
// [max(clock minute - period, midnight), clock].
class DueRuleAgreement : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = std::make_unique<test::ScratchFolder>("due-agreement");
        catalogue = CreateCatalogue(*folder, "agreement.fdb");
        // CODIGO stem, REALIZABACKUP, HORABACKUP01..03, SOLOBACKUPMENSUAL, DIAMESBACKUP
        const char* schedules[][7] = {
            {"DIA", "'S'", "'12:45'", "'20:00'", "NULL", "'N'", "'00'"},
            {"MED", "'S'", "'  '", "'23:50'", "NULL", "'N'", "'00'"}, // a blank time is midnight
            {"D15", "'S'", "'12:45'", "NULL", "NULL", "'N'", "'15'"},
            {"D30", "'S'", "'12:45'", "NULL", "NULL", "'N'", "'30'"},
            {"D31", "'S'", "'23:45'", "NULL", "NULL", "'N'", "'31'"},
            {"D28", "'S'", "'00:10'", "NULL", "NULL", "'N'", "'28'"},
            {"TAR", "'S'", "'23:40'", "'23:59'", "NULL", "'N'", "'15'"},    // due within the overdue minute
            {"MEN", "'S'", "'12:45'", "NULL", "' : '", "'S'", "'01'"},      // a time, and untimed
            {"MSD", "'S'", "NULL", "NULL", "NULL", "'S'", "'00'"},          // untimed alone, daily rule
            {"SDM", "'S'", "'12:45'", "'12:45'", "'20:00'", "'N'", "NULL"}, // no day of the month
            {"NOB", "'N'", "'12:45'", "NULL", "NULL", "'N'", "'00'"},
            {"NUL", "NULL", "'12:45'", "NULL", "NULL", "'S'", "'00'"},
        };
        // Backed up on the grid's days, and that many days before each.
        const int daysBefore[] = {0, 1, 2, 30, 31, 32};
        std::string script = "CONNECT '" + catalogue + "';\n";
        int id = 0;
        const auto insert = [&](const char* const* schedule, const std::string& code, const std::string& date,
                                const char* time) {
            script += "INSERT INTO EMPRESAS (EMPRESAID, CODIGO, REALIZABACKUP, HORABACKUP01, HORABACKUP02, "
                      "HORABACKUP03, SOLOBACKUPMENSUAL, DIAMESBACKUP, FECHAULTBACKUP, HORAULTBACKUP) VALUES (" +
                      std::to_string(++id) + ", '" + code + "'";
            for (int i = 1; i < 7; ++i)
                script += std::string(", ") + schedule[i];
            script += ", " + date + ", " + time + ");\n";
        };
        for (const auto& schedule : schedules) {
            insert(schedule, std::string(schedule[0]) + "N", "NULL", "NULL");
            // A day without a time is no backup for the selection.
            insert(schedule, std::string(schedule[0]) + "H", "'2026-02-27'", "NULL");
            for (std::size_t day = 0; day < std::size(kDays); ++day) {
                for (const int before : daysBefore) {
                    const std::string date = IsoText(MomentOfSeconds(At(kDays[day], "00:00:00") - before * 86400LL));
                    insert(schedule, schedule[0] + std::to_string(day) + "-" + std::to_string(before),
                           "'" + date.substr(0, 10) + "'", "'12:45'");
                }
            }
        }
        test::RunIsql(script + "COMMIT;");

        // The rows as --status reads them; the engine then lets go of the file for the probes.
        const fb::ClientApi* api = fb::LoadClientApi(nullptr);
        ASSERT_NE(api, nullptr);
        rows = ReadCompanyRows(*api, catalogue);
        api->shutdown(10000, fb::kShutdownApplicationStopped);
        ASSERT_EQ(rows.size(), std::size(schedules) * (2 + std::size(kDays) * std::size(daysBefore)));
    }
    static void TearDownTestSuite() { folder.reset(); }

    static long long At(const char* day, const char* time) {
        return SecondsOf(*ParseIsoText(std::string(day) + "T" + time));
    }

    // "period|CODIGO|minute of the time" for every pair the status check finds due at `now`,
    // "-" for the untimed run.
    static std::set<std::string> CheckDue(long long now, long long periodMinutes, const std::string& period) {
        const long long minute = now - now % 60;
        const long long from = std::max(minute - periodMinutes * 60, now - now % 86400);
        std::set<std::string> due;
        for (const CompanyRow& row : rows) {
            std::vector<BackupSchedule> candidates;
            for (const int time : row.schedule.times) {
                candidates.push_back(row.schedule);
                candidates.back().times = {time};
                candidates.back().untimed = false;
            }
            if (row.schedule.untimed) {
                candidates.push_back(row.schedule);
                candidates.back().times.clear();
            }
            for (const BackupSchedule& candidate : candidates) {
                const auto moment = NextDueAfter(candidate, row.stamped, from - 1, periodMinutes * 60);
                if (moment && *moment <= now)
                    due.insert(period + "|" + row.code + "|" +
                               (candidate.times.empty() ? "-" : std::to_string(candidate.times.front())));
            }
        }
        return due;
    }

    // The same from the selection's lines, "period|CODIGO|01/01/1900 HH:MM".
    static std::set<std::string> SelectionDue(const std::vector<std::string>& lines) {
        std::set<std::string> due;
        for (const std::string& line : lines) {
            const std::size_t bar = line.rfind('|');
            const std::string time = line.substr(bar + 1);
            int hour = 0;
            int minute = 0;
            std::string key = "-";
            if (!time.empty()) {
                const int read = std::sscanf(time.c_str(), "01/01/1900 %d:%d", &hour, &minute);
                key = std::to_string(read == 2 ? hour * 60 + minute : 0);
            }
            due.insert(line.substr(0, bar + 1) + key);
        }
        return due;
    }

    static constexpr const char* kDays[] = {"2026-02-27", "2026-02-28", "2024-02-29", "2026-03-15",
                                            "2026-03-31", "2026-04-30", "2026-01-01"};
    static inline std::unique_ptr<test::ScratchFolder> folder;
    static inline std::string catalogue;
    static inline std::vector<CompanyRow> rows;
};

TEST_F(DueRuleAgreement, TheStatusCheckFindsDueWhatTheSelectionPicks) {
    const char* clocks[] = {"00:00:00", "00:10:00", "00:40:00", "00:41:00", "12:44:00", "12:45:00",
                            "12:46:30", "13:15:00", "13:16:00", "13:45:00", "13:46:00", "20:31:00",
                            "23:45:00", "23:58:30", "23:59:00", "23:59:30"};
    // Hours and minutes: the default, the shortest, an hour, a whole day, and either side of the
    // 19 minutes that take 23:40 into the overdue minute 23:59.
    const std::pair<long long, long long> periods[] = {{0, 30}, {0, 1}, {1, 0}, {24, 0}, {0, 18}, {0, 19}};
    std::string arguments;
    for (const auto& [hours, minutes] : periods)
        arguments += " " + std::to_string(hours) + " " + std::to_string(minutes);
    std::size_t picked = 0;
    std::size_t checked = 0;
    for (const char* day : kDays) {
        for (const char* clock : clocks) {
            const std::string now = std::string(day) + " " + clock;
            const std::set<std::string> selected = SelectionDue(
                test::RunProbe(std::string(VELTOR_DUE_PROBE) + " '" + catalogue + "'" + arguments, now, false));
            std::set<std::string> expected;
            for (const auto& [hours, minutes] : periods) {
                const std::set<std::string> due = CheckDue(At(day, clock), hours * 60 + minutes,
                                                           std::to_string(hours) + ":" + std::to_string(minutes));
                expected.insert(due.begin(), due.end());
            }
            std::vector<std::string> onlySelected;
            std::vector<std::string> onlyChecked;
            std::set_difference(selected.begin(), selected.end(), expected.begin(), expected.end(),
                                std::back_inserter(onlySelected));
            std::set_difference(expected.begin(), expected.end(), selected.begin(), selected.end(),
                                std::back_inserter(onlyChecked));
            EXPECT_EQ(onlySelected, std::vector<std::string>{}) << "picked by the selection alone at " << now;
            EXPECT_EQ(onlyChecked, std::vector<std::string>{}) << "due for the status check alone at " << now;
            picked += selected.size();
            checked += rows.size() * std::size(periods);
        }
    }
    // The grid holds both answers in plenty.
    EXPECT_GT(picked, checked / 10);
    EXPECT_LT(picked, checked / 2);
}

} // namespace
} // namespace veltor::catalogue
