#pragma once
// A connection to one database with fixed attributes, the client dataset that keeps the
// rows of a selection in memory, and the command query that runs one statement without
// reading rows. Every statement is prepared under dialect 1 rules (double quotes delimit
// strings, a DATE carries a time of day) and runs in a transaction of its own, committed
// when the statement completes and rolled back when it fails.

#include "dbserver/Administrator.h"
#include "dbserver/SqlHandles.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltor::sql {

// The rows of one executed statement, as text.
struct RowSet {
    std::vector<std::string> columns; // names as the server reports them (aliases)
    std::vector<bool> readable;       // false for BLOB and ARRAY columns
    std::vector<std::vector<std::string>> rows;
};

// Fixed attributes: user SYSDBA, no role, no character set, SQL dialect 3 asked for at
// attachment, transactions read committed with record versions that wait on lock conflicts.
class SqlDatabase {
public:
    static constexpr const char* kUserName = kAdministratorUser;
    static constexpr unsigned short kStatementDialect = 1;
    static constexpr int kRequestedDialect = 3;

    explicit SqlDatabase(const fb::ClientApi& api) : attachment_(api) {}
    SqlDatabase(const SqlDatabase&) = delete;
    SqlDatabase& operator=(const SqlDatabase&) = delete;

    void SetDatabaseName(std::string name) { databaseName_ = std::move(name); }
    void SetPassword(std::string password) { password_ = std::move(password); }
    const std::string& DatabaseName() const { return databaseName_; }

    // Attaches with the current database name and password; nothing when already connected.
    void Connect();
    // Detaches; never raises (a connection that was lost is simply forgotten).
    void Disconnect() noexcept;
    bool Connected() const { return attachment_.attached(); }

    // Runs one statement in its own transaction, connecting first when disconnected.
    // With `readRows` a SELECT has its rows fetched; without, it is only executed.
    // `returnedRows` tells whether the statement was a selection. When the statement fails
    // and the server no longer answers on the attachment, the connection counts as lost:
    // the next statement connects again.
    RowSet Run(std::string_view sql, bool readRows, bool* returnedRows = nullptr);

    // The attachment parameter block of the fixed attributes and the given password; with
    // UTF-8 names it says so (isc_dpb_utf8_filename).
    static std::string AttachmentBlock(const std::string& password,
                                       fb::FileNameBytes names = fb::FileNameBytes::SystemCodePage);
    // The transaction parameter block of every statement.
    static std::string TransactionBlock();

private:
    RowSet RunConnected(std::string_view sql, bool readRows, bool* returnedRows);

    Attachment attachment_;
    std::string databaseName_;
    std::string password_;
};

// A selection whose rows are fetched whole when it opens. The rows stay with the dataset
// until it closes, whatever happens to the connection meanwhile.
class SqlDataset {
public:
    explicit SqlDataset(SqlDatabase& database) : database_(&database) {}

    std::string CommandText;

    // Runs CommandText and keeps its rows, positioned on the first. A statement that is
    // not a selection is executed and committed, then raises "la sentencia no devolvió
    // filas". On failure the dataset stays closed.
    void Open();
    void Close() noexcept;
    bool Active() const { return active_; }

    int RecordCount() const { return static_cast<int>(rows_.rows.size()); }
    void First();
    void Next();
    bool Eof() const { return !active_ || eof_; }

    // The value of the named column (any case) in the current row, as text; the empty text
    // for NULL and when there is no current row. Raises for an unknown column or a column
    // without text.
    std::string FieldText(std::string_view column) const;

private:
    SqlDatabase* database_;
    RowSet rows_;
    std::size_t position_ = 0;
    bool eof_ = true;
    bool active_ = false;
};

// A statement that is executed without reading rows; its text is a list of lines.
class SqlCommand {
public:
    explicit SqlCommand(SqlDatabase& database) : database_(&database) {}

    std::vector<std::string> SQL;

    // Executes the lines, joined with line ends, in a committed transaction of its own.
    void ExecQuery();
    // Nothing stays open after an execution; kept for the symmetry of the datasets.
    void Close() noexcept {}

private:
    SqlDatabase* database_;
};

} // namespace veltor::sql
