// The backup window text, the due selection statement and the period texts.
#include "catalogue/DueSelection.h"
#include "catalogue/Catalogue.h"
#include "config/Global.h"
#include "dbserver/UnavailableClient.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

namespace veltor::catalogue {
namespace {

TEST(StampStatement, SetsTheRunsDateAndTimeColumnsOfOneCompany) {
    EXPECT_EQ(StampStatement("FECHAULTBACKUP", "HORAULTBACKUP", "12/07/2026", "0905", "17"),
              "UPDATE EMPRESAS SET FECHAULTBACKUP=\"12/07/2026\", HORAULTBACKUP=\"09:05\" WHERE EMPRESAID=17");
}

TEST(BackupWindowText, HasFifteenSignificantDigitsAPointAndNoExponent) {
    EXPECT_EQ(BackupWindowText(0, 30), "0.0208333333333333");
    EXPECT_EQ(BackupWindowText(0, 60), "0.0416666666666667");
    EXPECT_EQ(BackupWindowText(1, 0), "0.0416666666666667");
    EXPECT_EQ(BackupWindowText(0, 45), "0.03125");
    EXPECT_EQ(BackupWindowText(1, 30), "0.0625");
    EXPECT_EQ(BackupWindowText(0, 1), "0.000694444444444444");
    EXPECT_EQ(BackupWindowText(24, 0), "1");
    EXPECT_EQ(BackupWindowText(48, 0), "2");
    EXPECT_EQ(BackupWindowText(36, 0), "1.5");
    EXPECT_EQ(BackupWindowText(0, 0), "0");
}

TEST(DueCompaniesStatement, IsThePiecesJoinedWithTheWindowTwice) {
    // clang-format off
    const std::string expected = "WITH empresasbackup AS (select ce.EMPRESAID,ce.CODIGO,ce.NOMBRE,ce.NIT,ce.ANOFIS,ce.ULTPERIODO,ce.ARCHIVO,ce.CONSOLIDA,ce.RUTALOGO, ce.solobackupmensual,max(HORABACKUP) HORABACKUP from (select EMPRESAID,CODIGO,NOMBRE,NIT,ANOFIS,ULTPERIODO,ARCHIVO,CONSOLIDA,RUTALOGO,REALIZABACKUP,FECHAULTBACKUP,HORAULTBACKUP,DIAMESBACKUP,solobackupmensual,IIF(trim(COALESCE(HORABACKUP01,\":\"))=\":\",null, \"01/01/1900 \"||HORABACKUP01) HORABACKUP from EMPRESAS where ( TRIM(COALESCE(horabackup01, ':')) <> ':' ) OR ( TRIM(COALESCE(solobackupmensual,'N')) = 'S' ) union all select EMPRESAID,CODIGO,NOMBRE,NIT,ANOFIS,ULTPERIODO,ARCHIVO,CONSOLIDA,RUTALOGO,REALIZABACKUP,FECHAULTBACKUP,HORAULTBACKUP,DIAMESBACKUP,solobackupmensual,IIF(trim(COALESCE(HORABACKUP02,\":\"))=\":\",null, \"01/01/1900 \"||HORABACKUP02) HORABACKUP from EMPRESAS where ( TRIM(COALESCE(horabackup02, ':')) <> ':' ) OR ( TRIM(COALESCE(solobackupmensual,'N')) = 'S' ) union all select EMPRESAID,CODIGO,NOMBRE,NIT,ANOFIS,ULTPERIODO,ARCHIVO,CONSOLIDA,RUTALOGO,REALIZABACKUP,FECHAULTBACKUP,HORAULTBACKUP,DIAMESBACKUP,solobackupmensual,IIF(trim(COALESCE(HORABACKUP03,\":\"))=\":\",null, \"01/01/1900 \"||HORABACKUP03) HORABACKUP from EMPRESAS where ( TRIM(COALESCE(horabackup03, ':')) <> ':' ) OR ( TRIM(COALESCE(solobackupmensual,'N')) = 'S' )) ce where coalesce(REALIZABACKUP, \"N\") = \"S\" and    ((iif(FECHAULTBACKUP is null or HORAULTBACKUP is null,\"01/01/1900 01:00\",FECHAULTBACKUP||\" 23:59\")<(cast(\"Now\" as date)-iif(DIAMESBACKUP=\"00\",1,31))) or       ((DIAMESBACKUP=\"00\" or (DIAMESBACKUP<>\"00\" and iif(cast(DIAMESBACKUP as integer)>=28 and cast((extract(month from cast(\"Now\" as date))) as integer)=2,27,cast(DIAMESBACKUP as integer))=cast((extract(day from cast(\"Now\" as date))) as integer))) and         (cast(\"01/01/1900 \" || cast((extract(hour from cast(\"Now\" as date))) as integer) || \":\" || cast(extract(minute from cast(\"Now\" as date)) as integer) as timestamp)-0.0208333333333333)<=cast(ce.HORABACKUP as timestamp) and         cast(\"01/01/1900 \" || cast((extract(hour from cast(\"Now\" as date))) as integer) || \":\" || cast(extract(minute from cast(\"Now\" as date)) as integer) as timestamp)>=cast(ce.HORABACKUP as timestamp))) group by ce.EMPRESAID,ce.CODIGO,ce.NOMBRE,ce.NIT,ce.ANOFIS,ce.ULTPERIODO,ce.ARCHIVO,ce.CONSOLIDA,ce.RUTALOGO,ce.solobackupmensual,ce.HORABACKUP ) SELECT eb.* FROM empresasbackup eb WHERE ( ( cast(\"01/01/1900 \" || cast((extract(hour from cast(\"Now\" as date))) as integer) || \":\" || cast(extract(minute from cast(\"Now\" as date)) as integer) as timestamp) - 0.0208333333333333) <= cast(eb.HORABACKUP as timestamp)       AND cast(\"01/01/1900 \" || cast((extract(hour from cast(\"Now\" as date))) as integer) || \":\" || cast(extract(minute from cast(\"Now\" as date)) as integer) as timestamp) >= cast(eb.HORABACKUP as timestamp) )       OR ( eb.horabackup IS NULL AND TRIM(COALESCE(eb.solobackupmensual,'N')) = 'S' ) ORDER BY eb.CODIGO ";
    // clang-format on
    EXPECT_EQ(DueCompaniesStatement(BackupWindowText(0, 30)), expected);
}

// The selection reads the period as the window's timer does: what one refuses, the other
// refuses too, before any statement is run.
TEST(DueSelectionPeriod, IsReadWithTheWindowsIntegerReading) {
    Catalogue catalogue(fb::UnavailableClientApi("no client here"));
    for (const char* bad : {"00 ", " ", "+-5", "1.5", "2147483648"})
        EXPECT_THROW(catalogue.SelectDueCompanies(bad, "30"), veltor::ConvertError) << bad;
    EXPECT_THROW(catalogue.SelectDueCompanies("00", " 30 "), veltor::ConvertError);
    // A period the window takes gets as far as the statement.
    try {
        catalogue.SelectDueCompanies(" +00", "30");
        ADD_FAILURE() << "no statement can run without a client library";
    } catch (const veltor::ConvertError&) {
        ADD_FAILURE() << "the period was refused";
    } catch (const std::exception&) {
    }
}

// Seconds of the local clock of "YYYY-MM-DDTHH:MM:SS".
long long At(const std::string& iso) {
    const auto number = [&](std::size_t at, std::size_t length) { return std::stoi(iso.substr(at, length)); };
    const std::chrono::year_month_day day{std::chrono::year{number(0, 4)},
                                          std::chrono::month{static_cast<unsigned>(number(5, 2))},
                                          std::chrono::day{static_cast<unsigned>(number(8, 2))}};
    return std::chrono::sys_days{day}.time_since_epoch().count() * 86400LL + number(11, 2) * 3600LL +
           number(14, 2) * 60LL + number(17, 2);
}

TEST(BackupStampOf, IsTheStampsDayAtItsTimeOrAtMidnight) {
    EXPECT_EQ(BackupStampOf("2026-12-07 00:00:00", "12:45"), 1796647500);
    EXPECT_EQ(BackupStampOf("2024-02-29", " : "), 1709164800);
    EXPECT_EQ(BackupStampOf("2026-02-29", "12:45"), std::nullopt);
    EXPECT_EQ(BackupStampOf("2026-12-0", "12:45"), std::nullopt);
    EXPECT_EQ(BackupStampOf("", "12:45"), std::nullopt);
}

TEST(BackupSchedule, FollowsTheDueSelectionsRule) {
    // Daily at 12:45 and 20:00.
    const BackupSchedule daily = ScheduleOf("S", "12:45", "20:00", ":", "N", "00");
    EXPECT_EQ(NextDueAfter(daily, At("2026-12-07T12:45:00"), At("2026-12-07T12:45:00"), 1800),
              At("2026-12-07T20:00:00"));
    EXPECT_EQ(NextDueAfter(daily, At("2026-12-07T20:00:00"), At("2026-12-07T20:00:00"), 1800),
              At("2026-12-08T12:45:00"));
    // Blank but not NULL is midnight; ":" is not set; a time the server would refuse is left out.
    EXPECT_EQ(ScheduleOf("S", "  ", " : ", "25:00", "N", "00").times, std::vector<int>{0});
    EXPECT_FALSE(ScheduleOf("N", "12:45", ":", ":", "N", "00").takesBackups);
    EXPECT_FALSE(NextDueAfter(ScheduleOf("N", "12:45", ":", ":", "N", "00"), std::nullopt, 0, 1800));
    // The 30th is the 27th in February; a monthly company is due any day once 31 days are past.
    const BackupSchedule monthly = ScheduleOf("S", "12:45", ":", ":", "N", "30");
    EXPECT_EQ(NextDueAfter(monthly, At("2026-01-30T12:45:00"), At("2026-01-30T12:45:00"), 1800),
              At("2026-02-27T12:45:00"));
    const BackupSchedule day31 = ScheduleOf("S", "12:45", ":", ":", "N", "31");
    EXPECT_EQ(NextDueAfter(day31, At("2026-03-31T12:45:00"), At("2026-03-31T12:45:00"), 1800),
              At("2026-05-02T12:45:00"));
    // Monthly-only with a time not set: due at the first run once overdue (a run later than 23:59
    // of the 31st day after the last backup's), at whatever time.
    const BackupSchedule untimed = ScheduleOf("S", ":", ":", ":", "S", "01");
    EXPECT_EQ(NextDueAfter(untimed, At("2026-11-01T10:00:00"), At("2026-11-01T10:00:00"), 1800),
              At("2026-12-02T23:59:00"));
    EXPECT_EQ(NextDueAfter(untimed, std::nullopt, At("2026-11-01T10:00:00"), 1800), At("2026-11-01T10:00:01"));
    // No time and not monthly-only: never due.
    EXPECT_FALSE(NextDueAfter(ScheduleOf("S", ":", ":", ":", "N", "00"), std::nullopt, 0, 1800));
}

} // namespace
} // namespace veltor::catalogue
