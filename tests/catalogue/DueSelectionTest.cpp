// The backup window text, the due selection statement and the period texts.
#include "catalogue/DueSelection.h"
#include "catalogue/Catalogue.h"
#include "config/Global.h"
#include "dbserver/UnavailableClient.h"

#include <gtest/gtest.h>

#include <stdexcept>

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

} // namespace
} // namespace veltor::catalogue
