// A stand-in for fbclient.dll. Every entry point answers a number of its own (101 to 119, in
// the order of the boundary's table), so a test can tell which function each slot reached.
// Built without isc_service_query when VELTOR_FAKE_FBCLIENT_PARTIAL is defined. Built with
// VELTOR_FAKE_FBCLIENT_SLOW, an attachment (database or service) takes two seconds and then
// fails with "unavailable database", so a program's run lasts a while.
#include "dbserver/FbClientApi.h"

#include <cstring>

#ifdef VELTOR_FAKE_FBCLIENT_SLOW
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

using namespace veltor::fb;

#define FAKE_EXPORT extern "C" __declspec(dllexport)

namespace {

Status Attach([[maybe_unused]] Status* status, [[maybe_unused]] Status number) {
#ifdef VELTOR_FAKE_FBCLIENT_SLOW
    Sleep(2000);
    status[0] = 1;
    status[1] = 335544375;
    status[2] = 0;
    return status[1];
#else
    return number;
#endif
}

} // namespace

FAKE_EXPORT Status isc_attach_database(Status* status, short, const char*, Handle*, short, const char*) {
    return Attach(status, 101);
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
FAKE_EXPORT Status isc_service_attach(Status* status, unsigned short, const char*, Handle*, unsigned short,
                                      const char*) {
    return Attach(status, 114);
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
FAKE_EXPORT std::int32_t fb_interpret(char* buffer, unsigned int size, const Status** cursor) {
#ifdef VELTOR_FAKE_FBCLIENT_SLOW
    // One message for the error, then the end of the vector.
    if ((*cursor)[0] != 1 || size == 0) return 0;
    *cursor += 2;
#else
    (void)cursor;
#endif
    if (size > 0) std::strncpy(buffer, "fake", size - 1);
    return 119;
}
