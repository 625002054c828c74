#include "dbserver/DatabaseState.h"

#include "dbserver/Administrator.h"
#include "dbserver/FbConstants.h"
#include "dbserver/FirebirdError.h"
#include "dbserver/InfoReply.h"
#include "dbserver/ParameterBlock.h"
#include "dbserver/SqlDatabase.h"
#include "dbserver/SqlHandles.h"

namespace veltor {
std::string FirebirdDatabaseState::AttachmentBlock(fb::FileNameBytes names) {
    fb::ParameterBlock dpb;
    dpb.Byte(fb::dpb::kVersion1)
        .String1(fb::dpb::kUserName, kAdministratorUser)
        .String1(fb::dpb::kPassword, kAdministratorPassword)
        .LengthInt4(fb::dpb::kNoDatabaseTriggers, 1);
    if (names == fb::FileNameBytes::Utf8) dpb.Flag1(fb::dpb::kUtf8FileName);
    return dpb.bytes();
}

std::int64_t FirebirdDatabaseState::ParseNextTransaction(const char* reply, std::size_t size) {
    const fb::FirebirdError unexpected("Unexpected database information reply");
    fb::InfoReply answer(reply, size);
    const std::optional<std::string_view> value = answer.Item(fb::info::kNextTransaction);
    if (!value || value->empty() || value->size() > 8 || !answer.AtEnd()) throw unexpected;
    return static_cast<std::int64_t>(fb::LittleEndian(*value));
}

std::int64_t FirebirdDatabaseState::NextTransaction(const std::string& database) {
    sql::Attachment attachment(api_);
    attachment.Attach(database, AttachmentBlock(api_.fileNames));
    const char items[] = {fb::info::kNextTransaction, fb::info::kEnd};
    char reply[64] = {};
    fb::Status status[fb::kStatusLength] = {};
    api_.database_info(status, attachment.handle(), sizeof items, items, sizeof reply, reply);
    sql::Check(api_, status);
    const std::int64_t next = ParseNextTransaction(reply, sizeof reply);
    attachment.Detach();
    return next;
}

namespace {
// The stored system tables (not the monitoring or security views), each read to its end: a
// reader that meets a record version older than every transaction's snapshot removes it.
constexpr const char* kReadSystemTables =
    "EXECUTE BLOCK AS DECLARE R CHAR(63); DECLARE C BIGINT; BEGIN "
    "FOR SELECT RDB$RELATION_NAME FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 1 "
    "AND COALESCE(RDB$RELATION_TYPE, 0) = 0 AND RDB$VIEW_BLR IS NULL AND RDB$RELATION_NAME STARTING WITH 'RDB$' "
    "INTO :R DO EXECUTE STATEMENT 'SELECT COUNT(*) FROM ' || TRIM(R) INTO :C; END";
} // namespace

void FirebirdDatabaseState::CollectSystemGarbage(const std::string& database) {
    sql::Attachment attachment(api_);
    attachment.Attach(database, AttachmentBlock(api_.fileNames));
    {
        sql::Transaction transaction(attachment, sql::SqlDatabase::TransactionBlock());
        sql::Statement statement(attachment);
        statement.Prepare(transaction, kReadSystemTables, 3, nullptr);
        statement.Execute(transaction);
        transaction.Commit();
    }
    attachment.Detach();
}

bool FirebirdDatabaseState::IsOnline(const std::string& database) {
    sql::SqlDatabase attachment(api_);
    attachment.SetDatabaseName(database);
    attachment.SetPassword(kAdministratorPassword);
    const sql::RowSet rows = attachment.Run("SELECT MON$SHUTDOWN_MODE FROM MON$DATABASE", true);
    attachment.Disconnect();
    if (rows.rows.size() != 1 || rows.rows[0].size() != 1)
        throw fb::FirebirdError("Unexpected answer for the shutdown mode of " + database);
    return rows.rows[0][0] == "0";
}

} // namespace veltor
