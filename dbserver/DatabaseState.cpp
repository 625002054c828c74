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
// The value of the item `tag`, the only one of a database_info reply.
std::uint64_t NumberOfReply(std::uint8_t tag, const char* reply, std::size_t size) {
    const fb::FirebirdError unexpected("Unexpected database information reply");
    fb::InfoReply answer(reply, size);
    const std::optional<std::string_view> value = answer.Item(tag);
    if (!value || value->empty() || value->size() > 8 || !answer.AtEnd()) throw unexpected;
    return fb::LittleEndian(*value);
}
} // namespace

std::int64_t FirebirdDatabaseState::ParseNextTransaction(const char* reply, std::size_t size) {
    return static_cast<std::int64_t>(NumberOfReply(fb::info::kNextTransaction, reply, size));
}

std::uint64_t FirebirdDatabaseState::InfoNumber(const std::string& database, std::uint8_t item) {
    sql::Attachment attachment(api_);
    attachment.Attach(database, AttachmentBlock(api_.fileNames));
    const char items[] = {static_cast<char>(item), fb::info::kEnd};
    char reply[64] = {};
    fb::Status status[fb::kStatusLength] = {};
    api_.database_info(status, attachment.handle(), sizeof items, items, sizeof reply, reply);
    sql::Check(api_, status);
    const std::uint64_t value = NumberOfReply(item, reply, sizeof reply);
    attachment.Detach();
    return value;
}

std::int64_t FirebirdDatabaseState::NextTransaction(const std::string& database) {
    return static_cast<std::int64_t>(InfoNumber(database, fb::info::kNextTransaction));
}

bool FirebirdDatabaseState::IsReadOnly(const std::string& database) {
    return InfoNumber(database, fb::info::kDatabaseReadOnly) != 0;
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
