#include "dbserver/DatabaseState.h"

#include "dbserver/Administrator.h"
#include "dbserver/FirebirdError.h"
#include "dbserver/ParameterBlock.h"
#include "dbserver/SqlDatabase.h"
#include "dbserver/SqlHandles.h"

namespace veltor {
namespace {

constexpr std::uint8_t kDpbVersion1 = 1;
constexpr std::uint8_t kDpbUserName = 28;
constexpr std::uint8_t kDpbPassword = 29;
constexpr std::uint8_t kDpbNoDatabaseTriggers = 72;
constexpr char kInfoEnd = 1;
constexpr char kInfoNextTransaction = 107;

} // namespace

std::string FirebirdDatabaseState::AttachmentBlock() {
    fb::ParameterBlock dpb;
    dpb.Byte(kDpbVersion1)
        .String1(kDpbUserName, kAdministratorUser)
        .String1(kDpbPassword, kAdministratorPassword)
        .LengthInt4(kDpbNoDatabaseTriggers, 1);
    return dpb.bytes();
}

std::int64_t FirebirdDatabaseState::ParseNextTransaction(const char* reply, std::size_t size) {
    const fb::FirebirdError unexpected("Unexpected database information reply");
    if (size < 3 || reply[0] != kInfoNextTransaction) throw unexpected;
    const std::size_t length =
        static_cast<unsigned char>(reply[1]) | (static_cast<std::size_t>(static_cast<unsigned char>(reply[2])) << 8);
    if (length == 0 || length > 8 || 3 + length >= size || reply[3 + length] != kInfoEnd) throw unexpected;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < length; ++i)
        value |= static_cast<std::uint64_t>(static_cast<unsigned char>(reply[3 + i])) << (8 * i);
    return static_cast<std::int64_t>(value);
}

std::int64_t FirebirdDatabaseState::NextTransaction(const std::string& database) {
    sql::Attachment attachment(api_);
    attachment.Attach(database, AttachmentBlock());
    const char items[] = {kInfoNextTransaction, kInfoEnd};
    char reply[64] = {};
    fb::Status status[fb::kStatusLength] = {};
    api_.database_info(status, attachment.handle(), sizeof items, items, sizeof reply, reply);
    sql::Check(api_, status);
    const std::int64_t next = ParseNextTransaction(reply, sizeof reply);
    attachment.Detach();
    return next;
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
