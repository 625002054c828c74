#pragma once
// Owners of the client library's attachment, transaction and statement handles. Each
// owner releases its handle when it goes (detach, roll back, drop) and swallows a failure
// to do so, so that unwinding never raises twice. Operations that can fail raise
// fb::FirebirdError built from the status vector.

#include "dbserver/FbClientApi.h"
#include "dbserver/FirebirdError.h"

#include <string>
#include <string_view>

namespace veltor::sql {

// Raises the error of `status` when it holds one.
void RaiseOnError(const fb::ClientApi& api, const fb::Status* status);

class Attachment {
public:
    explicit Attachment(const fb::ClientApi& api) : api_(&api) {}
    ~Attachment() { Release(); }
    Attachment(Attachment&& other) noexcept : api_(other.api_), handle_(other.handle_) { other.handle_ = 0; }
    Attachment& operator=(Attachment&&) = delete;
    Attachment(const Attachment&) = delete;
    Attachment& operator=(const Attachment&) = delete;

    void Attach(const std::string& database, const std::string& dpb);
    // Detaches, raising a failure; the handle is forgotten either way.
    void Detach();
    // Detaches and swallows any failure (a lost connection cannot be detached cleanly).
    void Release() noexcept;
    // True when the server still answers on this attachment.
    bool Alive() noexcept;

    bool attached() const { return handle_ != 0; }
    fb::Handle* handle() { return &handle_; }
    const fb::ClientApi& api() const { return *api_; }

private:
    const fb::ClientApi* api_;
    fb::Handle handle_ = 0;
};

class Transaction {
public:
    // Starts a transaction on `attachment` with the given parameter block.
    Transaction(Attachment& attachment, const std::string& tpb);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void Commit();
    fb::Handle* handle() { return &handle_; }

private:
    const fb::ClientApi* api_;
    fb::Handle handle_ = 0;
};

class Statement {
public:
    explicit Statement(Attachment& attachment);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Prepares `sql` under the rules of `dialect`, describing its output columns into `out`
    // (which may be null).
    void Prepare(Transaction& transaction, std::string_view sql, unsigned short dialect, fb::SqlDa* out);
    void Describe(fb::SqlDa* out);
    // The statement type code that the server reports (1 for a SELECT).
    int Type();
    void Execute(Transaction& transaction);
    // False at the end of the rows.
    bool Fetch(const fb::SqlDa* out);

private:
    const fb::ClientApi* api_;
    fb::Handle handle_ = 0;
};

} // namespace veltor::sql
