#include "backup/Verification.h"

#include "backup/ServiceOutput.h"
#include "dbserver/DatabaseState.h"
#include "dbserver/SqlDatabase.h"

#include <algorithm>
#include <exception>
#include <stdexcept>

namespace veltor {
namespace {

constexpr std::string_view kDataFor = "writing data for table ";
constexpr std::string_view kRecordsWritten = " records written";

std::string TrimmedRight(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r' || text.back() == '\n'))
        text.remove_suffix(1);
    return std::string(text);
}

// The number before " records written" after the "gbak:" of a line, or -1.
long long RecordsWritten(std::string_view line) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return -1;
    std::string_view rest = line.substr(colon + 1);
    const std::size_t words = rest.find(kRecordsWritten);
    if (words == std::string_view::npos || words == 0) return -1;
    long long count = 0;
    for (std::size_t i = 0; i < words; ++i) {
        if (rest[i] == ' ') continue;
        if (rest[i] < '0' || rest[i] > '9') return -1;
        count = count * 10 + (rest[i] - '0');
    }
    return count;
}

// Removes the scratch database when the verification leaves, whatever way it leaves.
class ScratchGuard {
public:
    ScratchGuard(IFileSystem& files, std::string path) : files_(files), path_(std::move(path)) {}
    ~ScratchGuard() {
        try {
            Remove();
        } catch (...) {
        }
    }
    ScratchGuard(const ScratchGuard&) = delete;
    ScratchGuard& operator=(const ScratchGuard&) = delete;
    // Removes it now; raises the failure.
    void Remove() {
        if (removed_) return;
        removed_ = true;
        files_.RemoveFile(path_);
    }

private:
    IFileSystem& files_;
    std::string path_;
    bool removed_ = false;
};

} // namespace

TableRows TableRowsOfBackupOutput(const std::vector<std::string>& lines) {
    TableRows tables;
    std::string current;
    bool inTable = false;
    for (const std::string& line : lines) {
        if (const std::size_t at = line.find(kDataFor); at != std::string::npos) {
            current = TrimmedRight(std::string_view(line).substr(at + kDataFor.size()));
            tables[current] = 0;
            inTable = true;
            continue;
        }
        if (!inTable) continue;
        const long long count = RecordsWritten(line);
        if (count >= 0)
            tables[current] = count;
        else
            inTable = false;
    }
    return tables;
}

bool OutputWithoutWords(const std::vector<std::string>& lines) {
    return std::any_of(lines.begin(), lines.end(),
                       [](const std::string& line) { return line.find("can't format message") != std::string::npos; });
}

std::string ScratchDatabaseName(const std::string& backupFile) {
    std::string name = backupFile;
    if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".tmp") == 0) name.erase(name.size() - 4);
    if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".GBK") == 0) name.erase(name.size() - 4);
    return name + "-Verifica.FDB";
}

std::string CompareTableRows(const TableRows& expected, const TableRows& restored) {
    std::string differences;
    auto add = [&](const std::string& phrase) { differences += (differences.empty() ? "" : "; ") + phrase; };
    for (const auto& [table, rows] : expected) {
        const auto found = restored.find(table);
        if (found == restored.end())
            add("falta la tabla " + table);
        else if (found->second != rows)
            add("la tabla " + table + " tiene " + std::to_string(found->second) + " filas en lugar de " +
                std::to_string(rows));
    }
    for (const auto& [table, rows] : restored)
        if (expected.count(table) == 0) add("la tabla " + table + " no está en el Backup");
    return differences;
}

// Plain upper-case names are written as they are (a dialect 1 database knows no other), every
// other name in double quotes.
const char* const FirebirdRestoredDatabase::kCountStatement =
    "EXECUTE BLOCK RETURNS (TABLA VARCHAR(100), FILAS VARCHAR(24)) AS "
    "DECLARE NOMBRE VARCHAR(210); "
    "BEGIN "
    "FOR SELECT TRIM(RDB$RELATION_NAME) FROM RDB$RELATIONS "
    "WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0 AND RDB$VIEW_BLR IS NULL AND COALESCE(RDB$RELATION_TYPE, 0) = 0 "
    "INTO :TABLA DO BEGIN "
    "IF (TABLA SIMILAR TO '[A-Z][A-Z0-9_$]*') THEN NOMBRE = TABLA; "
    "ELSE NOMBRE = '\"' || REPLACE(TABLA, '\"', '\"\"') || '\"'; "
    "EXECUTE STATEMENT 'SELECT CAST(COUNT(*) AS VARCHAR(24)) FROM ' || NOMBRE INTO :FILAS; "
    "SUSPEND; "
    "END "
    "END";

bool FirebirdRestoredDatabase::IsOnline(const std::string& database) {
    return DatabaseIsOnline(api_, database);
}

TableRows FirebirdRestoredDatabase::CountRows(const std::string& database) {
    sql::SqlDatabase attachment(api_);
    attachment.SetDatabaseName(database);
    attachment.SetPassword(kAdministratorPassword);
    const sql::RowSet rows = attachment.Run(kCountStatement, true);
    attachment.Disconnect();
    TableRows tables;
    for (const auto& row : rows.rows) {
        if (row.size() != 2) throw std::runtime_error("Respuesta inesperada al contar las filas de " + database);
        tables[TrimmedRight(row[0])] = std::stoll(row[1]);
    }
    return tables;
}

VerificationResult BackupVerifier::Verify(const std::string& serverText, const std::string& backupFile,
                                          const TableRows& expected) {
    const std::string scratch = ScratchDatabaseName(backupFile);
    // A file of that name is somebody else's: it is neither overwritten nor removed.
    if (files_.FileExists(scratch)) return {false, "ya existe el archivo " + scratch};

    VerificationResult result;
    ScratchGuard guard(files_, scratch);
    try {
        fb::RestoreRequest request;
        request.backupFiles = {backupFile};
        request.databasePaths = {scratch};
        request.options = fb::RestoreRequest::kCreate;
        // Verbose, though nobody reads the lines: a quiet restore that fails on a backup cut
        // short leaves the Firebird 3 server unable to word its messages until it restarts, and
        // every later backup's output, which verification counts the tables from, with them.
        request.verbose = true;
        service_.SetParameters(AdministratorParameters());
        service_.SetServerName(serverText);
        service_.SetProtocol(fb::ServiceProtocol::Tcp);
        service_.RunRestore(request, {nullptr, [&](const std::string&) { view_.ProcessPendingEvents(); }});

        const std::string database = serverText + ":" + scratch;
        if (!databases_.IsOnline(database)) {
            result = {false, "la base de datos restaurada quedó cerrada (el Restore no terminó)"};
        } else {
            const TableRows restored = databases_.CountRows(database);
            const std::string differences = CompareTableRows(expected, restored);
            if (differences.empty()) {
                long long rows = 0;
                for (const auto& [table, count] : restored)
                    rows += count;
                result = {true, std::to_string(restored.size()) + " tablas, " + std::to_string(rows) + " filas"};
            } else {
                result = {false, differences};
            }
        }
    } catch (const std::exception& e) {
        result = {false, e.what()};
    }
    try {
        guard.Remove();
    } catch (const std::exception& e) {
        const std::string why = "no se pudo eliminar " + scratch + ": " + e.what();
        result.message = result.message.empty() ? why : result.message + "; " + why;
    }
    return result;
}

} // namespace veltor
