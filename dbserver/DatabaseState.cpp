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

namespace {
[[noreturn]] void UnexpectedReply() {
    throw fb::FirebirdError("Respuesta inesperada a la consulta de información de la base de datos");
}

// The value of the item `tag` at the reply's read position, of one to `widest` bytes.
std::uint64_t NumberItem(fb::InfoReply& answer, std::uint8_t tag, std::size_t widest) {
    const std::optional<std::string_view> value = answer.Item(tag);
    if (!value || value->empty() || value->size() > widest) UnexpectedReply();
    return fb::LittleEndian(*value);
}
} // namespace

std::int64_t FirebirdDatabaseState::ParseNextTransaction(const char* reply, std::size_t size) {
    fb::InfoReply answer(reply, size);
    const std::uint64_t next = NumberItem(answer, fb::info::kNextTransaction, 8);
    if (!answer.AtEnd()) UnexpectedReply();
    return static_cast<std::int64_t>(next);
}

DatabaseMark FirebirdDatabaseState::ParseMark(const char* reply, std::size_t size) {
    fb::InfoReply answer(reply, size);
    DatabaseMark mark;
    mark.pageSize = static_cast<std::uint32_t>(NumberItem(answer, fb::info::kPageSize, 4));
    mark.nextTransaction = static_cast<std::int64_t>(NumberItem(answer, fb::info::kNextTransaction, 8));
    if (mark.pageSize == 0 || !answer.AtEnd()) UnexpectedReply();
    return mark;
}

void FirebirdDatabaseState::AskDatabase(const std::string& database, const char* items, short itemsSize, char* reply,
                                        short replySize) {
    sql::Attachment attachment(api_);
    attachment.Attach(database, AttachmentBlock(api_.fileNames));
    fb::Status status[fb::kStatusLength] = {};
    api_.database_info(status, attachment.handle(), itemsSize, items, replySize, reply);
    sql::RaiseOnError(api_, status);
    attachment.Detach();
}

std::int64_t FirebirdDatabaseState::NextTransaction(const std::string& database) {
    const char items[] = {fb::info::kNextTransaction, fb::info::kEnd};
    char reply[64] = {};
    AskDatabase(database, items, sizeof items, reply, sizeof reply);
    return ParseNextTransaction(reply, sizeof reply);
}

DatabaseMark FirebirdDatabaseState::Mark(const std::string& database) {
    const char items[] = {fb::info::kPageSize, fb::info::kNextTransaction, fb::info::kEnd};
    char reply[64] = {};
    AskDatabase(database, items, sizeof items, reply, sizeof reply);
    return ParseMark(reply, sizeof reply);
}

bool FirebirdDatabaseState::IsReadOnly(const std::string& database) {
    const char items[] = {fb::info::kDatabaseReadOnly, fb::info::kEnd};
    char reply[64] = {};
    AskDatabase(database, items, sizeof items, reply, sizeof reply);
    fb::InfoReply answer(reply, sizeof reply);
    const std::uint64_t readOnly = NumberItem(answer, fb::info::kDatabaseReadOnly, 8);
    if (!answer.AtEnd()) UnexpectedReply();
    return readOnly != 0;
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
    return DatabaseIsOnline(api_, database);
}

} // namespace veltor
