#pragma once
// Verification of a backup, asked for in ADMINBD.inf: the .GBK is restored through the server
// into a scratch database beside it, which must come out open for use and hold the same tables
// with the same row counts as the backup wrote (as its verbose output reports them: the source
// as the backup's own transaction saw it). The scratch database is removed on every path.

#include "dbserver/FbClientApi.h"
#include "ports/ActivityView.h"
#include "ports/FileSystem.h"
#include "ports/FirebirdService.h"

#include <map>
#include <string>
#include <vector>

namespace veltor {

// Table name -> rows.
using TableRows = std::map<std::string, long long>;

// The tables and row counts a backup's verbose output reports ("writing data for table X"
// followed by "N records written", the last such line of a table counting).
TableRows TableRowsOfBackupOutput(const std::vector<std::string>& lines);

// Whether the backup's output could not be worded by the server ("can't format message"): its
// tables cannot be read from it, and the server needs a restart before they can.
bool OutputWithoutWords(const std::vector<std::string>& lines);
inline constexpr const char* kOutputWithoutWords =
    "el servidor no pudo redactar la salida del Backup (\"can't format message\"), de la que se cuentan sus "
    "tablas: reinicie el servidor de Firebird";

// The scratch database of a backup file: its name with "-Verifica.FDB" in place of ".GBK" (and
// of the ".tmp" of a backup not yet published).
std::string ScratchDatabaseName(const std::string& backupFile);

// What differs between the backup's tables and the restored ones, one phrase per table;
// empty when they agree.
std::string CompareTableRows(const TableRows& expected, const TableRows& restored);

struct VerificationResult {
    bool passed = false;
    std::string message; // why it failed, or what was checked
};

// What a verification reads from the restored database.
class IRestoredDatabase {
public:
    virtual ~IRestoredDatabase() = default;
    // True when the database is open for use (not shut down). Raises the attachment's failure.
    virtual bool IsOnline(const std::string& database) = 0;
    // The row count of every user table. Raises the failure.
    virtual TableRows CountRows(const std::string& database) = 0;
};

// Reads a database through the client library as the administrator.
class FirebirdRestoredDatabase final : public IRestoredDatabase {
public:
    explicit FirebirdRestoredDatabase(const fb::ClientApi& api) : api_(api) {}
    bool IsOnline(const std::string& database) override;
    TableRows CountRows(const std::string& database) override;

    // The one statement that counts the rows of every user table.
    static const char* const kCountStatement;

private:
    const fb::ClientApi& api_;
};

class BackupVerifier {
public:
    // `service` is used with the TCP protocol, so the server itself writes the scratch file.
    BackupVerifier(fb::IFirebirdService& service, IRestoredDatabase& databases, IFileSystem& files, IActivityView& view)
        : service_(service), databases_(databases), files_(files), view_(view) {}

    // Restores `backupFile` through the server `serverText` into its scratch database, checks
    // it against `expected` and removes it. Never raises.
    VerificationResult Verify(const std::string& serverText, const std::string& backupFile, const TableRows& expected);

private:
    fb::IFirebirdService& service_;
    IRestoredDatabase& databases_;
    IFileSystem& files_;
    IActivityView& view_;
};

} // namespace veltor
