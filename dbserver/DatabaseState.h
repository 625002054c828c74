#pragma once
// What the backup-restore cycle asks a company database itself: how far its transactions have
// got, read before the backup and again, with the server stopped, before the exchange of
// files, to tell whether anyone but the cycle's own backup worked on it in between; the size
// of its pages, read with the first count, which the restore keeps when it is large; and
// whether a restored database is in use (a restore that did not get to its end leaves the new
// database shut down for maintenance, even when the restore service reported no error); and
// whether a live database is read-only, which nobody can change and the cycle leaves alone.
// Before the first reading the old record versions of the system tables are collected: the
// server's garbage collector would otherwise collect them in a transaction of its own, which
// the counter could not tell from a client's.

#include "dbserver/FbClientApi.h"

#include <cstdint>
#include <string>

namespace veltor {

// A database's transaction counter and page size, read in one attachment.
struct DatabaseMark {
    std::int64_t nextTransaction = 0;
    std::uint32_t pageSize = 0;
};

// True when `database` (a connection string) is open for use, false when it is shut down, as
// the shutdown mode of MON$DATABASE says, read as the administrator. Raises the attachment's
// failure, and FirebirdError for an answer of another shape.
bool DatabaseIsOnline(const fb::ClientApi& api, const std::string& database);

class IDatabaseState {
public:
    virtual ~IDatabaseState() = default;
    // The number the next transaction of `database` will take (a connection string:
    // "server:path" through the server, a bare path for this process's own engine). Raises
    // the attachment's failure.
    virtual std::int64_t NextTransaction(const std::string& database) = 0;
    // The same number and the size of the database's pages, from one attachment. Raises the
    // attachment's failure.
    virtual DatabaseMark Mark(const std::string& database) = 0;
    // Reads every system table of `database` (the same connection strings), which collects
    // the old versions of their records that nothing needs any more. Raises the failure.
    virtual void CollectSystemGarbage(const std::string& database) = 0;
    // True when `database` is open for use, false when it is shut down. Raises the
    // attachment's failure.
    virtual bool IsOnline(const std::string& database) = 0;
    // True when `database` is read-only. Raises the attachment's failure.
    virtual bool IsReadOnly(const std::string& database) = 0;
    // Why this process cannot restore a database through the local protocol (the engine it
    // needs is not beside the client library); empty when it can.
    virtual std::string WhyNoLocalRestore() const { return {}; }
};

// Attaches as the administrator with the database triggers off (a trigger on connect would
// start a transaction of its own). NextTransaction asks isc_info_next_transaction, Mark
// isc_info_page_size with it, and IsReadOnly isc_info_db_read_only, which start no transaction;
// CollectSystemGarbage counts the rows of every stored system table in one transaction;
// IsOnline is DatabaseIsOnline.
class FirebirdDatabaseState final : public IDatabaseState {
public:
    // `api` must outlive the object.
    explicit FirebirdDatabaseState(const fb::ClientApi& api) : api_(api) {}
    std::int64_t NextTransaction(const std::string& database) override;
    DatabaseMark Mark(const std::string& database) override;
    void CollectSystemGarbage(const std::string& database) override;
    bool IsOnline(const std::string& database) override;
    bool IsReadOnly(const std::string& database) override;
    std::string WhyNoLocalRestore() const override { return fb::LoadedClientLibrary().noLocalEngine; }

    // The attachment block of NextTransaction; with UTF-8 names it says so.
    static std::string AttachmentBlock(fb::FileNameBytes names = fb::FileNameBytes::SystemCodePage);
    // Reads the value of isc_info_next_transaction from a database_info reply; raises
    // FirebirdError for a reply of another shape.
    static std::int64_t ParseNextTransaction(const char* reply, std::size_t size);
    // Reads the values of isc_info_page_size and isc_info_next_transaction, in this order, from
    // a database_info reply; raises FirebirdError for a reply of another shape or a page size
    // of 0.
    static DatabaseMark ParseMark(const char* reply, std::size_t size);

private:
    // The reply of database_info for `items`, asked in an attachment of its own.
    void AskDatabase(const std::string& database, const char* items, short itemsSize, char* reply, short replySize);

    const fb::ClientApi& api_;
};

} // namespace veltor
