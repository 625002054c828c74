// The catalogue against the real Firebird server: upgrade, defaults, datasets and the
// connection's behaviour when it goes away.
#include "catalogue/Catalogue.h"
#include "config/Global.h"
#include "tests/support/FirebirdServer.h"
#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <map>
#include <string>
#include <vector>

namespace veltor::catalogue {
namespace {

using test::kAdminPassword;

std::string Trim(std::string text) {
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

std::string CurrentYear() {
    const std::chrono::year_month_day today{std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now())};
    return std::to_string(static_cast<int>(today.year()));
}

const fb::ClientApi& Api() {
    const fb::ClientApi* api = fb::LoadClientApi(nullptr);
    if (!api) throw std::runtime_error("no Firebird client library");
    return *api;
}

// A scratch administration database with the suite's EMPRESAS table, and a catalogue
// connected to it through the server.
class CatalogueOnServer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(test::RequireFirebirdServer());
        ASSERT_NO_FATAL_FAILURE(test::CreateDatabase(path));
        const char* data = std::getenv("VELTOR_TEST_DATA");
        ASSERT_NE(data, nullptr) << "VELTOR_TEST_DATA is not set";
        ASSERT_NO_FATAL_FAILURE(test::RunIsql("INPUT '" + std::string(data) + "/empresas.sql';", connection));
        catalogue.ConnectCatalogue(connection, kAdminPassword);
    }

    // "NAME TYPE LENGTH" of every column of EMPRESAS, in table order.
    std::vector<std::string> Columns() {
        catalogue.OpenSelection(
            "SELECT RF.RDB$FIELD_NAME NAME, F.RDB$FIELD_TYPE TIPO, F.RDB$CHARACTER_LENGTH LARGO "
            "FROM RDB$RELATION_FIELDS RF JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE "
            "WHERE RF.RDB$RELATION_NAME = 'EMPRESAS' ORDER BY RF.RDB$FIELD_POSITION");
        std::vector<std::string> columns;
        for (auto& q = catalogue.QEmpresas; !q.Eof(); q.Next())
            columns.push_back(Trim(q.FieldText("NAME")) + " " + q.FieldText("TIPO") + " " + q.FieldText("LARGO"));
        return columns;
    }

    // The named columns of the row with the given EMPRESAID, "|"-separated.
    std::string Row(int id, const std::vector<std::string>& names) {
        catalogue.OpenSelection("SELECT * FROM EMPRESAS WHERE EMPRESAID = " + std::to_string(id));
        std::string row;
        for (const std::string& name : names)
            row += (row.empty() ? "" : "|") + catalogue.QEmpresas.FieldText(name);
        return row;
    }

    test::ScratchFolder folder{"catalogue"};
    std::string path = folder / "admin.fdb";
    std::string connection = "localhost:" + path;
    Catalogue catalogue{Api()};
};

TEST_F(CatalogueOnServer, UpgradeAddsTheNineteenColumnsInOrderAndThenChangesNothing) {
    catalogue.UpgradeCatalogue();
    const std::vector<std::string> columns = Columns();
    // Field types: 14 CHAR, 37 VARCHAR, 35 TIMESTAMP.
    const std::vector<std::string> added = {
        "REALIZABACKUP 14 1",  "HORABACKUP01 37 13",  "HORABACKUP02 37 13",     "HORABACKUP03 37 13",
        "FECHAULTBACKUP 35 ",  "HORAULTBACKUP 37 13", "SOLOBACKUPMENSUAL 14 1", "DIAMESBACKUP 37 2",
        "REALIZARESTORE 14 1", "RESTORELUNES 14 1",   "RESTOREMARTES 14 1",     "RESTOREMIERCOLES 14 1",
        "RESTOREJUEVES 14 1",  "RESTOREVIERNES 14 1", "RESTORESABADO 14 1",     "RESTOREDOMINGO 14 1",
        "HORARESTORE 14 13",   "FECHAULTRESTORE 35 ", "HORAULTRESTORE 37 13"};
    ASSERT_EQ(columns.size(), 9u + added.size());
    EXPECT_EQ(std::vector<std::string>(columns.begin() + 9, columns.end()), added);

    EXPECT_NO_THROW(catalogue.UpgradeCatalogue());
    EXPECT_EQ(Columns(), columns);
}

TEST_F(CatalogueOnServer, DefaultsFollowTheFiscalYearAndSpareConfiguredRows) {
    catalogue.UpgradeCatalogue();
    const std::string year = CurrentYear();
    const std::string other = std::to_string(std::stoi(year) - 1);
    catalogue.ExecuteCommand("INSERT INTO EMPRESAS (EMPRESAID, CODIGO, ANOFIS) VALUES (1, \"ACTUAL\", \"" + year +
                             "\")");
    catalogue.ExecuteCommand("INSERT INTO EMPRESAS (EMPRESAID, CODIGO, ANOFIS, REALIZABACKUP, HORABACKUP03) "
                             "VALUES (2, \"ANTERIOR\", \"" +
                             other + "\", \"\", \"06:00\")");
    catalogue.ExecuteCommand("INSERT INTO EMPRESAS (EMPRESAID, CODIGO, ANOFIS, REALIZABACKUP, HORABACKUP01, "
                             "DIAMESBACKUP) VALUES (3, \"APAGADA\", \"" +
                             year + "\", \"N\", \"07:00\", \"05\")");
    catalogue.ApplyBackupDefaults();
    EXPECT_FALSE(catalogue.QEmpresas.Active());

    const std::vector<std::string> names = {"REALIZABACKUP", "SOLOBACKUPMENSUAL", "HORABACKUP01",
                                            "HORABACKUP02",  "HORABACKUP03",      "DIAMESBACKUP"};
    EXPECT_EQ(Row(1, names), "S|N|12:45|20:00||00");
    EXPECT_EQ(Row(2, names), "S|S|12:45||06:00|01");
    EXPECT_EQ(Row(3, names), "N||07:00|||05");
    // Read as text: CHAR keeps its width, NULL is empty, numbers are decimal.
    EXPECT_EQ(Row(1, {"EMPRESAID", "CODIGO", "ANOFIS", "FECHAULTBACKUP", "NIT"}), "1|ACTUAL|" + year + "||");

    // Configured rows are never touched again.
    catalogue.ExecuteCommand("UPDATE EMPRESAS SET HORABACKUP02 = \"21:30\" WHERE EMPRESAID = 1");
    catalogue.ApplyBackupDefaults();
    EXPECT_EQ(Row(1, names), "S|N|12:45|21:30||00");
}

TEST_F(CatalogueOnServer, StatementWithoutRowsIsCommittedBeforeTheDatasetComplains) {
    catalogue.ExecuteCommand("INSERT INTO EMPRESAS (EMPRESAID, CODIGO) VALUES (1, \"A\")");
    EXPECT_THROW(catalogue.OpenSelection("UPDATE EMPRESAS SET CODIGO = \"B\""), fb::FirebirdError);
    Catalogue other(Api());
    other.ConnectCatalogue(connection, kAdminPassword);
    other.OpenSelection("SELECT CODIGO FROM EMPRESAS");
    EXPECT_EQ(other.QEmpresas.FieldText("CODIGO"), "B");
}

TEST_F(CatalogueOnServer, DatasetKeepsItsRowsAndPositionAcrossDisconnectAndConnect) {
    for (int id = 1; id <= 3; ++id)
        catalogue.ExecuteCommand("INSERT INTO EMPRESAS (EMPRESAID, CODIGO) VALUES (" + std::to_string(id) + ", \"C" +
                                 std::to_string(id) + "\")");
    catalogue.OpenSelection("SELECT CODIGO FROM EMPRESAS ORDER BY CODIGO");
    auto& q = catalogue.QEmpresas;
    q.Next();
    catalogue.BDAdmin.Disconnect();
    EXPECT_EQ(q.RecordCount(), 3);
    EXPECT_EQ(q.FieldText("CODIGO"), "C2");
    catalogue.BDAdmin.Connect();
    q.Next();
    EXPECT_EQ(q.FieldText("CODIGO"), "C3");
    q.Next();
    EXPECT_TRUE(q.Eof());
}

TEST_F(CatalogueOnServer, WrongDatabasePathRaisesWithTheServersText) {
    try {
        catalogue.ConnectCatalogue("localhost:" + folder / "missing.fdb", kAdminPassword);
        FAIL() << "connected to a missing database";
    } catch (const fb::FirebirdError& error) {
        EXPECT_NE(std::string(error.message()).find("missing.fdb"), std::string::npos) << error.message();
        EXPECT_NE(error.engineCode(), 0);
    }
    EXPECT_FALSE(catalogue.BDAdmin.Connected());
}

TEST_F(CatalogueOnServer, StatementAfterTheConnectionWasDroppedConnectsAgain) {
    catalogue.OpenSelection("SELECT CURRENT_CONNECTION ID FROM RDB$DATABASE");
    const std::string first = catalogue.QEmpresas.FieldText("ID");

    // Closed by hand: the next statement connects again with the same attributes.
    catalogue.BDAdmin.Disconnect();
    catalogue.OpenSelection("SELECT CURRENT_CONNECTION ID FROM RDB$DATABASE");
    const std::string second = catalogue.QEmpresas.FieldText("ID");
    EXPECT_NE(second, first);

    // Killed by the server: that statement fails, the next one connects again.
    Catalogue other(Api());
    other.ConnectCatalogue(connection, kAdminPassword);
    other.ExecuteCommand("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID = " + second);
    EXPECT_THROW(catalogue.ExecuteCommand("SELECT REALIZABACKUP FROM EMPRESAS"), fb::FirebirdError);
    catalogue.OpenSelection("SELECT CURRENT_CONNECTION ID FROM RDB$DATABASE");
    EXPECT_NE(catalogue.QEmpresas.FieldText("ID"), second);
}

TEST_F(CatalogueOnServer, FallbackRunsWhenTheProbeFailsAndItsFailureReachesTheCaller) {
    catalogue.ExecWithFallback("SELECT NOPE FROM EMPRESAS", "ALTER TABLE EMPRESAS ADD NOPE CHAR(1)");
    EXPECT_NO_THROW(catalogue.ExecuteCommand("SELECT NOPE FROM EMPRESAS"));
    EXPECT_THROW(catalogue.ExecWithFallback("SELECT OTRA FROM EMPRESAS", "ALTER TABLE NOEXISTE ADD OTRA CHAR(1)"),
                 fb::FirebirdError);
}

TEST_F(CatalogueOnServer, FailedSelectionLeavesTheDatasetClosed) {
    catalogue.OpenSelection("SELECT CODIGO FROM EMPRESAS");
    EXPECT_THROW(catalogue.SelectDueCompanies("0", "media"), ConvertError);
    EXPECT_FALSE(catalogue.QEmpresas.Active());
    // Before the upgrade the scheduling columns are missing and the server rejects the statement.
    EXPECT_THROW(catalogue.SelectDueCompanies("0", "30"), fb::FirebirdError);
    EXPECT_FALSE(catalogue.QEmpresas.Active());
    catalogue.UpgradeCatalogue();
    catalogue.SelectDueCompanies("0", "30");
    EXPECT_TRUE(catalogue.QEmpresas.Active());
}

// The cycle's stamp of the server's today is found with its minute, whatever the time of day;
// one of yesterday is not.
TEST_F(CatalogueOnServer, RestoredTodayFindsTheCyclesStampedOnTheServersTodayOnly) {
    catalogue.UpgradeCatalogue();
    for (const char* id : {"1", "2", "3"})
        catalogue.ExecuteCommand("INSERT INTO EMPRESAS (EMPRESAID, CODIGO) VALUES (" + std::string(id) + ", \"E\")");
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char today[16];
    std::strftime(today, sizeof today, "%m/%d/%Y", &local);
    catalogue.ExecuteCommand(StampStatement("FECHAULTRESTORE", "HORAULTRESTORE", today, "2359", "1"));
    catalogue.ExecuteCommand("UPDATE EMPRESAS SET FECHAULTRESTORE = CAST(\"YESTERDAY\" AS DATE), HORAULTRESTORE = "
                             "\"03:00\" WHERE EMPRESAID = 2");
    EXPECT_EQ(catalogue.RestoredToday(), (std::map<std::string, std::string>{{"1", "23:59"}}));
}

} // namespace
} // namespace veltor::catalogue
