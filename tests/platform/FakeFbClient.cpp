// A stand-in for fbclient.dll. Every entry point answers a number of its own (101 to 119, in
// the order of the boundary's table), so a test can tell which function each slot reached.
// Built without isc_service_query when VELTOR_FAKE_FBCLIENT_PARTIAL is defined.
#include "dbserver/FbClientApi.h"

#include <cstring>

using namespace veltor::fb;

#define FAKE_EXPORT extern "C" __declspec(dllexport)

FAKE_EXPORT Status isc_attach_database(Status*, short, const char*, Handle*, short, const char*) {
    return 101;
}
FAKE_EXPORT Status isc_detach_database(Status*, Handle*) {
    return 102;
}
FAKE_EXPORT Status isc_database_info(Status*, Handle*, short, const char*, short, char*) {
    return 103;
}
FAKE_EXPORT Status isc_start_multiple(Status*, Handle*, short, void*) {
    return 104;
}
FAKE_EXPORT Status isc_commit_transaction(Status*, Handle*) {
    return 105;
}
FAKE_EXPORT Status isc_rollback_transaction(Status*, Handle*) {
    return 106;
}
FAKE_EXPORT Status isc_dsql_allocate_statement(Status*, Handle*, Handle*) {
    return 107;
}
FAKE_EXPORT Status isc_dsql_prepare(Status*, Handle*, Handle*, unsigned short, const char*, unsigned short, SqlDa*) {
    return 108;
}
FAKE_EXPORT Status isc_dsql_describe(Status*, Handle*, unsigned short, SqlDa*) {
    return 109;
}
FAKE_EXPORT Status isc_dsql_execute(Status*, Handle*, Handle*, unsigned short, const SqlDa*) {
    return 110;
}
FAKE_EXPORT Status isc_dsql_fetch(Status*, Handle*, unsigned short, const SqlDa*) {
    return 111;
}
FAKE_EXPORT Status isc_dsql_free_statement(Status*, Handle*, unsigned short) {
    return 112;
}
FAKE_EXPORT Status isc_dsql_sql_info(Status*, Handle*, short, const char*, short, char*) {
    return 113;
}
FAKE_EXPORT Status isc_service_attach(Status*, unsigned short, const char*, Handle*, unsigned short, const char*) {
    return 114;
}
FAKE_EXPORT Status isc_service_detach(Status*, Handle*) {
    return 115;
}
FAKE_EXPORT Status isc_service_start(Status*, Handle*, std::int32_t*, unsigned short, const char*) {
    return 116;
}
#ifndef VELTOR_FAKE_FBCLIENT_PARTIAL
FAKE_EXPORT Status isc_service_query(Status*, Handle*, std::int32_t*, unsigned short, const char*, unsigned short,
                                     const char*, unsigned short, char*) {
    return 117;
}
#endif
FAKE_EXPORT std::int32_t isc_sqlcode(const Status*) {
    return 118;
}
FAKE_EXPORT int fb_shutdown(unsigned int, int) {
    return 120;
}
FAKE_EXPORT std::int32_t fb_interpret(char* buffer, unsigned int size, const Status**) {
    if (size > 0) std::strncpy(buffer, "fake", size - 1);
    return 119;
}
