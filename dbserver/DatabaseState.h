#pragma once
// What the backup-restore cycle asks a company database itself: how far its transactions have
// got, read before the backup and again, with the server stopped, before the exchange of
// files, to tell whether anyone but the cycle's own backup worked on it in between; and
// whether a restored database is in use (a restore that did not get to its end leaves the new
// database shut down for maintenance, even when the restore service reported no error).
// Before the first reading the old record versions of the system tables are collected: the
// server's garbage collector would otherwise collect them in a transaction of its own, which
// the counter could not tell from a client's.

#include "dbserver/FbClientApi.h"

#include <cstdint>
#include <string>

namespace veltor {

class IDatabaseState {
public:
    virtual ~IDatabaseState() = default;
    // The number the next transaction of `database` will take (a connection string:
    // "server:path" through the server, a bare path for this process's own engine). Raises
    // the attachment's failure.
    virtual std::int64_t NextTransaction(const std::string& database) = 0;
    // Reads every system table of `database` (the same connection strings), which collects
    // the old versions of their records that nothing needs any more. Raises the failure.
    virtual void CollectSystemGarbage(const std::string& database) = 0;
    // True when `database` is open for use, false when it is shut down. Raises the
    // attachment's failure.
    virtual bool IsOnline(const std::string& database) = 0;
    // Why this process cannot restore a database through the local protocol (the engine it
    // needs is not beside the client library); empty when it can.
    virtual std::string WhyNoLocalRestore() const { return {}; }
};

// Attaches as the administrator with the database triggers off (a trigger on connect would
// start a transaction of its own). NextTransaction asks isc_info_next_transaction, which
// starts no transaction; CollectSystemGarbage counts the rows of every stored system table in
// one transaction; IsOnline reads the shutdown mode of MON$DATABASE.
class FirebirdDatabaseState final : public IDatabaseState {
public:
    // `api` must outlive the object.
    explicit FirebirdDatabaseState(const fb::ClientApi& api) : api_(api) {}
    std::int64_t NextTransaction(const std::string& database) override;
    void CollectSystemGarbage(const std::string& database) override;
    bool IsOnline(const std::string& database) override;
    std::string WhyNoLocalRestore() const override { return fb::LoadedClientLibrary().noLocalEngine; }

    // The attachment block of NextTransaction; with UTF-8 names it says so.
    static std::string AttachmentBlock(fb::FileNameBytes names = fb::FileNameBytes::SystemCodePage);
    // Reads the value of isc_info_next_transaction from a database_info reply; raises
    // FirebirdError for a reply of another shape.
    static std::int64_t ParseNextTransaction(const char* reply, std::size_t size);

private:
    const fb::ClientApi& api_;
};

} // namespace veltor
