// The SQL layer against a fake client library: dialect, transactions and reconnection.
#include "catalogue/SqlDatabase.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace veltor::sql {
namespace {

// What the fake library was asked, and what it answers.
struct FakeServer {
    int attaches = 0, commits = 0, rollbacks = 0, executes = 0;
    std::vector<unsigned short> dialects;
    std::string lastDpb;
    bool selection = true;         // statements are SELECTs with one VARCHAR column "CODIGO"
    std::vector<std::string> rows; // rows the SELECT returns
    std::size_t fetched = 0;
    bool failExecute = false;
    bool alive = true;
};
FakeServer* server = nullptr;

fb::Status Fail(fb::Status* status) {
    status[0] = 1;
    status[1] = 335544721; // network error
    status[2] = 0;
    return status[1];
}
fb::Status Ok(fb::Status* status) {
    status[0] = 1;
    status[1] = 0;
    return 0;
}

fb::ClientApi FakeApi() {
    fb::ClientApi api{};
    api.attach_database = [](fb::Status* s, short, const char*, fb::Handle* h, short length, const char* dpb) {
        ++server->attaches;
        server->lastDpb.assign(dpb, static_cast<std::size_t>(length));
        server->alive = true;
        *h = 1;
        return Ok(s);
    };
    api.detach_database = [](fb::Status* s, fb::Handle* h) {
        *h = 0;
        return server->alive ? Ok(s) : Fail(s);
    };
    api.database_info = [](fb::Status* s, fb::Handle*, short, const char*, short, char*) {
        return server->alive ? Ok(s) : Fail(s);
    };
    api.start_multiple = [](fb::Status* s, fb::Handle* t, short, void*) {
        *t = 2;
        return Ok(s);
    };
    api.commit_transaction = [](fb::Status* s, fb::Handle* t) {
        ++server->commits;
        *t = 0;
        return Ok(s);
    };
    api.rollback_transaction = [](fb::Status* s, fb::Handle* t) {
        ++server->rollbacks;
        *t = 0;
        return Ok(s);
    };
    api.dsql_allocate_statement = [](fb::Status* s, fb::Handle*, fb::Handle* st) {
        *st = 3;
        server->fetched = 0;
        return Ok(s);
    };
    api.dsql_prepare = [](fb::Status* s, fb::Handle*, fb::Handle*, unsigned short, const char*, unsigned short dialect,
                          fb::SqlDa* da) {
        server->dialects.push_back(dialect);
        da->sqld = server->selection ? 1 : 0;
        if (server->selection) {
            fb::SqlVar& v = da->sqlvar[0];
            v.sqltype = fb::kSqlVarying + 1;
            v.sqllen = 10;
            v.aliasname_length = 6;
            std::memcpy(v.aliasname, "CODIGO", 6);
        }
        return Ok(s);
    };
    api.dsql_sql_info = [](fb::Status* s, fb::Handle*, short, const char*, short, char* buffer) {
        const char answer[] = {21, 4, 0, static_cast<char>(server->selection ? 1 : 4), 0, 0, 0, 1};
        std::memcpy(buffer, answer, sizeof answer);
        return Ok(s);
    };
    api.dsql_execute = [](fb::Status* s, fb::Handle*, fb::Handle*, unsigned short, const fb::SqlDa*) {
        ++server->executes;
        if (server->failExecute) return Fail(s);
        return Ok(s);
    };
    api.dsql_fetch = [](fb::Status* s, fb::Handle*, unsigned short, const fb::SqlDa* da) -> fb::Status {
        Ok(s);
        if (server->fetched == server->rows.size()) return 100;
        const std::string& row = server->rows[server->fetched++];
        const fb::SqlVar& v = da->sqlvar[0];
        *v.sqlind = row == "NULL" ? -1 : 0;
        v.sqldata[0] = static_cast<char>(row.size());
        v.sqldata[1] = 0;
        std::memcpy(v.sqldata + 2, row.data(), row.size());
        return 0;
    };
    api.dsql_free_statement = [](fb::Status* s, fb::Handle* st, unsigned short) {
        *st = 0;
        return Ok(s);
    };
    api.sqlcode = [](const fb::Status*) { return -902; };
    api.interpret = [](char* buffer, unsigned int, const fb::Status** cursor) -> std::int32_t {
        if ((*cursor)[1] == 0) return 0;
        std::strcpy(buffer, "Unable to complete network request to host");
        static const fb::Status end[] = {1, 0, 0};
        *cursor = end;
        return 1;
    };
    return api;
}

class SqlLayer : public ::testing::Test {
protected:
    SqlLayer() : api(FakeApi()), database(api), dataset(database), command(database) {
        server = &fake;
        database.SetDatabaseName("srv:/db/admin.fdb");
        database.SetPassword("quillbank");
    }
    FakeServer fake;
    fb::ClientApi api;
    SqlDatabase database;
    SqlDataset dataset;
    SqlCommand command;
};

TEST_F(SqlLayer, AttachesWithTheFixedAttributesAndRunsEveryStatementAsDialectOneInACommittedTransaction) {
    command.SQL = {"UPDATE EMPRESAS SET X=1"};
    command.ExecQuery();
    command.ExecQuery();
    EXPECT_EQ(fake.attaches, 1);
    EXPECT_EQ(fake.lastDpb, std::string("\x01\x1c\x06SYSDBA\x1d\x09quillbank\x3f\x04\x03\x00\x00\x00", 26));
    EXPECT_EQ(SqlDatabase::TransactionBlock(), std::string("\x03\x09\x0f\x11\x06"));
    EXPECT_EQ(fake.dialects, (std::vector<unsigned short>{1, 1}));
    EXPECT_EQ(fake.commits, 2);
    EXPECT_EQ(fake.rollbacks, 0);
}

TEST_F(SqlLayer, DatasetWalksItsRowsAndReadsNullAsEmpty) {
    fake.rows = {"A1", "NULL", "C3"};
    dataset.CommandText = "SELECT CODIGO FROM EMPRESAS";
    dataset.Open();
    ASSERT_EQ(dataset.RecordCount(), 3);
    std::vector<std::string> seen;
    for (dataset.First(); !dataset.Eof(); dataset.Next())
        seen.push_back(dataset.FieldText("codigo"));
    EXPECT_EQ(seen, (std::vector<std::string>{"A1", "", "C3"}));
    EXPECT_THROW(dataset.FieldText("NOMBRE"), fb::FirebirdError);
}

TEST_F(SqlLayer, OpeningAStatementWithoutRowsCommitsItThenRaises) {
    fake.selection = false;
    dataset.CommandText = "UPDATE EMPRESAS SET X=1";
    EXPECT_THROW(dataset.Open(), fb::FirebirdError);
    EXPECT_EQ(fake.executes, 1);
    EXPECT_EQ(fake.commits, 1);
    EXPECT_FALSE(dataset.Active());
}

TEST_F(SqlLayer, FailedStatementRollsBackAndALostConnectionIsMadeAgainByTheNextStatement) {
    command.SQL = {"SELECT REALIZABACKUP FROM EMPRESAS"};
    command.ExecQuery();
    fake.failExecute = true;
    fake.alive = false;
    EXPECT_THROW(command.ExecQuery(), fb::FirebirdError);
    EXPECT_EQ(fake.rollbacks, 1);
    EXPECT_FALSE(database.Connected());
    fake.failExecute = false;
    command.ExecQuery();
    EXPECT_EQ(fake.attaches, 2);

    // A statement that fails while the server still answers keeps the connection.
    fake.failExecute = true;
    EXPECT_THROW(command.ExecQuery(), fb::FirebirdError);
    EXPECT_TRUE(database.Connected());
}

TEST_F(SqlLayer, StatementOnADisconnectedDatabaseConnectsFirst) {
    database.Connect();
    database.Disconnect();
    EXPECT_FALSE(database.Connected());
    fake.rows = {"A1"};
    dataset.CommandText = "SELECT CODIGO FROM EMPRESAS";
    dataset.Open();
    EXPECT_EQ(fake.attaches, 2);
    database.Disconnect();
    // The rows stay with the dataset.
    EXPECT_EQ(dataset.FieldText("CODIGO"), "A1");
}

} // namespace
} // namespace veltor::sql
