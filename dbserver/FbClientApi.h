#pragma once
// The one boundary between the program and the Firebird client library: a table of the
// entry points the program calls. On Linux it is filled from the linked libfbclient; on
// Windows from fbclient.dll loaded at run time; tests fill it with fakes. The types mirror
// those of the library's public C header on 64-bit targets (the adapter checks that they
// agree) so that no core file needs that header.

#include <cstdint>
#include <string>

namespace veltor::fb {

static_assert(sizeof(void*) == 8, "the client-library boundary is written for 64-bit targets");

using Status = std::intptr_t;     // one entry of a status vector
using Handle = unsigned int;      // attachment, transaction, statement and service handles
constexpr int kStatusLength = 20; // entries of a status vector

// Column descriptor of a statement (XSQLVAR).
struct SqlVar {
    std::int16_t sqltype;
    std::int16_t sqlscale;
    std::int16_t sqlsubtype;
    std::int16_t sqllen;
    char* sqldata;
    std::int16_t* sqlind;
    std::int16_t sqlname_length;
    char sqlname[32];
    std::int16_t relname_length;
    char relname[32];
    std::int16_t ownname_length;
    char ownname[32];
    std::int16_t aliasname_length;
    char aliasname[32];
};

// Descriptor area of a statement (XSQLDA); allocate with room for sqln entries.
struct SqlDa {
    std::int16_t version;
    char sqldaid[8];
    std::int32_t sqldabc;
    std::int16_t sqln;
    std::int16_t sqld;
    SqlVar sqlvar[1];
};

// One entry of a transaction's database list (isc_start_multiple).
struct TransactionEntry {
    Handle* database;
    int tpbLength;
    const char* tpb;
};

// Column types and flags of the descriptor area.
enum SqlType : std::int16_t {
    kSqlText = 452,
    kSqlVarying = 448,
    kSqlShort = 500,
    kSqlLong = 496,
    kSqlFloat = 482,
    kSqlDouble = 480,
    kSqlDFloat = 530,
    kSqlTimestamp = 510,
    kSqlBlob = 520,
    kSqlArray = 540,
    kSqlQuad = 550,
    kSqlTime = 560,
    kSqlDate = 570,
    kSqlInt64 = 580,
    kSqlBoolean = 32764,
    kSqlNull = 32766,
};
constexpr std::int16_t kSqlDaVersion1 = 1;

// How the file names the program hands the library are written. The program passes on the
// bytes it read (from ADMINBD.inf, the catalogue) as they are, and they are what the system
// itself names files with: UTF-8 on Linux, the ANSI code page on Windows.
enum class FileNameBytes {
    // The system's own code page, which the library converts to UTF-8 itself (Windows).
    SystemCodePage,
    // UTF-8 (Linux). The attachment blocks say so (isc_dpb_utf8_filename,
    // isc_spb_utf8_filename), and the boundary makes the process's character type UTF-8, through
    // which the library still reads the names of attachments and of the local engine's files.
    Utf8,
};

struct ClientApi {
    // Database attachments and transactions.
    Status (*attach_database)(Status*, short, const char*, Handle*, short, const char*);
    Status (*detach_database)(Status*, Handle*);
    Status (*database_info)(Status*, Handle*, short, const char*, short, char*);
    Status (*start_multiple)(Status*, Handle*, short, void*);
    Status (*commit_transaction)(Status*, Handle*);
    Status (*rollback_transaction)(Status*, Handle*);
    // SQL statements.
    Status (*dsql_allocate_statement)(Status*, Handle*, Handle*);
    Status (*dsql_prepare)(Status*, Handle*, Handle*, unsigned short, const char*, unsigned short, SqlDa*);
    Status (*dsql_describe)(Status*, Handle*, unsigned short, SqlDa*);
    Status (*dsql_execute)(Status*, Handle*, Handle*, unsigned short, const SqlDa*);
    Status (*dsql_fetch)(Status*, Handle*, unsigned short, const SqlDa*);
    Status (*dsql_free_statement)(Status*, Handle*, unsigned short);
    Status (*dsql_sql_info)(Status*, Handle*, short, const char*, short, char*);
    // Services.
    Status (*service_attach)(Status*, unsigned short, const char*, Handle*, unsigned short, const char*);
    Status (*service_detach)(Status*, Handle*);
    Status (*service_start)(Status*, Handle*, std::int32_t*, unsigned short, const char*);
    Status (*service_query)(Status*, Handle*, std::int32_t*, unsigned short, const char*, unsigned short, const char*,
                            unsigned short, char*);
    // Status vectors.
    std::int32_t (*sqlcode)(const Status*);
    std::int32_t (*interpret)(char*, unsigned int, const Status**);
    // Ends the library's work in this process: its engine threads (a local restore runs in
    // this process) and its connections. Called once, when the program ends.
    int (*shutdown)(unsigned int timeoutMilliseconds, int reason);

    // Not an entry point: how this platform's file names are written (after every entry point,
    // so a table filled entry by entry ends where this begins).
    FileNameBytes fileNames = FileNameBytes::SystemCodePage;
};

// The reason given to shutdown when the program ends (fb_shutrsn_app_stopped).
constexpr int kShutdownApplicationStopped = -3;

// The entry points of the installed client library, or nullptr with the reason in
// `whyMissing` when the library cannot be found or lacks an entry point. The table lives
// for the rest of the process.
const ClientApi* LoadClientApi(const char** whyMissing);

// What the program knows of the library LoadClientApi loaded. `loadedFrom`: the file and how
// it was found, for the memo at start-up (empty where the program is linked with it).
// `missing`: why no library could be loaded. `noLocalEngine`: why a restore through the local
// protocol, which runs the engine in this process, cannot work with it (empty when it can).
struct ClientLibraryFacts {
    std::string loadedFrom;
    std::string missing;
    std::string noLocalEngine;
};
const ClientLibraryFacts& LoadedClientLibrary();

} // namespace veltor::fb
