#pragma once
// What the backup-restore cycle asks a company database itself: how far its transactions have
// got, read before the backup and again, with the server stopped, before the exchange of
// files, to tell whether anyone but the cycle's own backup worked on it in between; and
// whether a restored database is in use (a restore that did not get to its end leaves the new
// database shut down for maintenance, even when the restore service reported no error); and
// whether a live database is read-only, which nobody can change and the cycle leaves alone.

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
// start a transaction of its own). NextTransaction asks isc_info_next_transaction and
// IsReadOnly isc_info_db_read_only, which start no transaction; IsOnline reads the shutdown
// mode of MON$DATABASE.
class FirebirdDatabaseState final : public IDatabaseState {
public:
    // `api` must outlive the object.
    explicit FirebirdDatabaseState(const fb::ClientApi& api) : api_(api) {}
    std::int64_t NextTransaction(const std::string& database) override;
    bool IsOnline(const std::string& database) override;
    bool IsReadOnly(const std::string& database) override;
    std::string WhyNoLocalRestore() const override { return fb::LoadedClientLibrary().noLocalEngine; }

    // The attachment block of NextTransaction; with UTF-8 names it says so.
    static std::string AttachmentBlock(fb::FileNameBytes names = fb::FileNameBytes::SystemCodePage);
    // Reads the value of isc_info_next_transaction from a database_info reply; raises
    // FirebirdError for a reply of another shape.
    static std::int64_t ParseNextTransaction(const char* reply, std::size_t size);

private:
    // The value of one numeric item of database_info.
    std::uint64_t InfoNumber(const std::string& database, std::uint8_t item);

    const fb::ClientApi& api_;
};

} // namespace veltor
