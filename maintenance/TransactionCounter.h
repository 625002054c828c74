#pragma once
// How far the transactions of a database have got: the number its next transaction will
// take. The backup-restore cycle reads it before its backup and again, with the server
// stopped, before the exchange of files, to tell whether anyone but its own backup worked on
// the database in between.

#include "dbserver/FbClientApi.h"

#include <cstdint>
#include <string>

namespace veltor {

class ITransactionCounter {
public:
    virtual ~ITransactionCounter() = default;
    // The next transaction number of `database` (a connection string: "server:path" through
    // the server, a bare path for this process's own engine). Raises the attachment's failure.
    virtual std::int64_t NextTransaction(const std::string& database) = 0;
};

// Attaches as the administrator with the database triggers off (a trigger on connect would
// start a transaction of its own), asks isc_info_next_transaction and detaches. Neither the
// attachment nor the question starts a transaction.
class FirebirdTransactionCounter final : public ITransactionCounter {
public:
    // `api` must outlive the counter.
    explicit FirebirdTransactionCounter(const fb::ClientApi& api) : api_(api) {}
    std::int64_t NextTransaction(const std::string& database) override;

    // The attachment block used.
    static std::string AttachmentBlock();
    // Reads the value of isc_info_next_transaction from a database_info reply; raises
    // FirebirdError for a reply of another shape.
    static std::int64_t ParseNextTransaction(const char* reply, std::size_t size);

private:
    const fb::ClientApi& api_;
};

} // namespace veltor
