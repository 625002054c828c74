#include "dbserver/SqlHandles.h"

#include "dbserver/FbConstants.h"
#include "dbserver/InfoReply.h"

#include <limits>

namespace veltor::sql {
namespace {

constexpr unsigned short kDropStatement = 2; // DSQL_drop
constexpr fb::Status kEndOfRows = 100;

} // namespace

void RaiseOnError(const fb::ClientApi& api, const fb::Status* status) {
    if (fb::IsError(status)) throw fb::ErrorFromStatus(api, status);
}

void Attachment::Attach(const std::string& database, const std::string& dpb) {
    if (database.size() > static_cast<std::size_t>(std::numeric_limits<short>::max()))
        throw fb::FirebirdError("el nombre de la base de datos es demasiado largo");
    fb::Status status[fb::kStatusLength] = {};
    fb::Handle handle = 0;
    api_->attach_database(status, static_cast<short>(database.size()), database.data(), &handle,
                          static_cast<short>(dpb.size()), dpb.data());
    RaiseOnError(*api_, status);
    Release();
    handle_ = handle;
}

void Attachment::Detach() {
    if (handle_ == 0) return;
    fb::Status status[fb::kStatusLength] = {};
    api_->detach_database(status, &handle_);
    handle_ = 0;
    RaiseOnError(*api_, status);
}

void Attachment::Release() noexcept {
    try {
        Detach();
    } catch (...) {
    }
}

bool Attachment::Alive() noexcept {
    if (handle_ == 0) return false;
    fb::Status status[fb::kStatusLength] = {};
    const char items[] = {fb::info::kOdsVersion, fb::info::kEnd};
    char buffer[64] = {};
    api_->database_info(status, &handle_, sizeof items, items, sizeof buffer, buffer);
    return !fb::IsError(status);
}

Transaction::Transaction(Attachment& attachment, const std::string& tpb) : api_(&attachment.api()) {
    fb::TransactionEntry entry{attachment.handle(), static_cast<int>(tpb.size()), tpb.data()};
    fb::Status status[fb::kStatusLength] = {};
    api_->start_multiple(status, &handle_, 1, &entry);
    RaiseOnError(*api_, status);
}

Transaction::~Transaction() {
    if (handle_ == 0) return;
    fb::Status status[fb::kStatusLength] = {};
    api_->rollback_transaction(status, &handle_);
}

void Transaction::Commit() {
    fb::Status status[fb::kStatusLength] = {};
    api_->commit_transaction(status, &handle_);
    RaiseOnError(*api_, status);
    handle_ = 0;
}

Statement::Statement(Attachment& attachment) : api_(&attachment.api()) {
    fb::Status status[fb::kStatusLength] = {};
    api_->dsql_allocate_statement(status, attachment.handle(), &handle_);
    RaiseOnError(*api_, status);
}

Statement::~Statement() {
    if (handle_ == 0) return;
    fb::Status status[fb::kStatusLength] = {};
    api_->dsql_free_statement(status, &handle_, kDropStatement);
}

void Statement::Prepare(Transaction& transaction, std::string_view sql, unsigned short dialect, fb::SqlDa* out) {
    if (sql.size() > std::numeric_limits<unsigned short>::max())
        throw fb::FirebirdError("la sentencia tiene más de 65535 bytes");
    fb::Status status[fb::kStatusLength] = {};
    api_->dsql_prepare(status, transaction.handle(), &handle_, static_cast<unsigned short>(sql.size()), sql.data(),
                       dialect, out);
    RaiseOnError(*api_, status);
}

void Statement::Describe(fb::SqlDa* out) {
    fb::Status status[fb::kStatusLength] = {};
    api_->dsql_describe(status, &handle_, fb::kSqlDaVersion1, out);
    RaiseOnError(*api_, status);
}

int Statement::Type() {
    fb::Status status[fb::kStatusLength] = {};
    const char items[] = {fb::info::kSqlStatementType};
    char buffer[16] = {};
    api_->dsql_sql_info(status, &handle_, sizeof items, items, sizeof buffer, buffer);
    RaiseOnError(*api_, status);
    fb::InfoReply reply(buffer, sizeof buffer);
    const std::optional<std::string_view> type = reply.Item(fb::info::kSqlStatementType);
    if (!type || type->empty() || type->size() > 4)
        throw fb::FirebirdError("el servidor no informó el tipo de la sentencia");
    return static_cast<int>(static_cast<std::uint32_t>(fb::LittleEndian(*type)));
}

void Statement::Execute(Transaction& transaction) {
    fb::Status status[fb::kStatusLength] = {};
    api_->dsql_execute(status, transaction.handle(), &handle_, fb::kSqlDaVersion1, nullptr);
    RaiseOnError(*api_, status);
}

bool Statement::Fetch(const fb::SqlDa* out) {
    fb::Status status[fb::kStatusLength] = {};
    const fb::Status result = api_->dsql_fetch(status, &handle_, fb::kSqlDaVersion1, out);
    if (result == kEndOfRows) return false;
    RaiseOnError(*api_, status);
    return true;
}

} // namespace veltor::sql
