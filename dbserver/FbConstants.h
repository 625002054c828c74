#pragma once
// The item codes of the client library's parameter blocks and information replies that the
// program uses, with the values of the library's public C header. One set for every file of
// this folder.

#include <cstdint>

namespace veltor::fb {

// Database attachment blocks (isc_dpb_*).
namespace dpb {
constexpr std::uint8_t kVersion1 = 1;
constexpr std::uint8_t kUserName = 28;
constexpr std::uint8_t kPassword = 29;
constexpr std::uint8_t kSqlDialect = 63;
constexpr std::uint8_t kNoDatabaseTriggers = 72;
constexpr std::uint8_t kUtf8FileName = 77;
} // namespace dpb

// Transaction blocks (isc_tpb_*).
namespace tpb {
constexpr std::uint8_t kVersion3 = 3;
constexpr std::uint8_t kWait = 6;
constexpr std::uint8_t kWrite = 9;
constexpr std::uint8_t kReadCommitted = 15;
constexpr std::uint8_t kRecordVersion = 17;
} // namespace tpb

// Service attachment and start blocks (isc_spb_*, isc_action_svc_*).
namespace spb {
constexpr std::uint8_t kVersion = 2;
constexpr std::uint8_t kCurrentVersion = 2;
constexpr std::uint8_t kUserName = 28;
constexpr std::uint8_t kPassword = 29;
constexpr std::uint8_t kUtf8FileName = 118;
constexpr std::uint8_t kActionBackup = 1;
constexpr std::uint8_t kActionRestore = 2;
constexpr std::uint8_t kDatabaseName = 106;
constexpr std::uint8_t kVerbose = 107;
constexpr std::uint8_t kOptions = 108;
constexpr std::uint8_t kBackupFile = 5;
constexpr std::uint8_t kBackupFactor = 6;
constexpr std::uint8_t kRestoreBuffers = 9;
constexpr std::uint8_t kRestorePageSize = 10;
} // namespace spb

// Items of the information calls (isc_info_*): database_info, dsql_sql_info, service_query.
namespace info {
constexpr std::uint8_t kEnd = 1;
constexpr std::uint8_t kPageSize = 14;
constexpr std::uint8_t kSqlStatementType = 21;
constexpr std::uint8_t kOdsVersion = 32;
constexpr std::uint8_t kDatabaseReadOnly = 63;
constexpr std::uint8_t kServiceLine = 62;
constexpr std::uint8_t kServiceRunning = 67;
constexpr std::uint8_t kNextTransaction = 107;
} // namespace info

// Statement types of kSqlStatementType (isc_info_sql_stmt_*).
constexpr int kStatementTypeSelect = 1;
constexpr int kStatementTypeSelectForUpdate = 12;

} // namespace veltor::fb
