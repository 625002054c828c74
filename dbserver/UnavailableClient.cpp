#include "dbserver/UnavailableClient.h"

#include <cstring>

namespace veltor::fb {
namespace {

// isc_unavailable: "unavailable database"; the text comes from the reason below.
constexpr Status kUnavailableDatabase = 335544375;
std::string gReason;

Status Fail(Status* status) {
    status[0] = 1;
    status[1] = kUnavailableDatabase;
    status[2] = 0;
    return kUnavailableDatabase;
}

const ClientApi kUnavailableTable = {
    [](Status* s, short, const char*, Handle*, short, const char*) { return Fail(s); },
    [](Status* s, Handle*) { return Fail(s); },
    [](Status* s, Handle*, short, const char*, short, char*) { return Fail(s); },
    [](Status* s, Handle*, short, void*) { return Fail(s); },
    [](Status* s, Handle*) { return Fail(s); },
    [](Status* s, Handle*) { return Fail(s); },
    [](Status* s, Handle*, Handle*) { return Fail(s); },
    [](Status* s, Handle*, Handle*, unsigned short, const char*, unsigned short, SqlDa*) { return Fail(s); },
    [](Status* s, Handle*, unsigned short, SqlDa*) { return Fail(s); },
    [](Status* s, Handle*, Handle*, unsigned short, const SqlDa*) { return Fail(s); },
    [](Status* s, Handle*, unsigned short, const SqlDa*) { return Fail(s); },
    [](Status* s, Handle*, unsigned short) { return Fail(s); },
    [](Status* s, Handle*, short, const char*, short, char*) { return Fail(s); },
    [](Status* s, unsigned short, const char*, Handle*, unsigned short, const char*) { return Fail(s); },
    [](Status* s, Handle*) { return Fail(s); },
    [](Status* s, Handle*, std::int32_t*, unsigned short, const char*) { return Fail(s); },
    [](Status* s, Handle*, std::int32_t*, unsigned short, const char*, unsigned short, const char*, unsigned short,
       char*) { return Fail(s); },
    [](const Status*) -> std::int32_t { return -904; },
    [](char* buffer, unsigned int size, const Status** cursor) -> std::int32_t {
        if ((*cursor)[0] != 1 || size == 0) return 0;
        std::strncpy(buffer, gReason.c_str(), size - 1);
        buffer[size - 1] = '\0';
        *cursor += 2;
        return static_cast<std::int32_t>(std::strlen(buffer));
    },
    [](unsigned int, int) { return 0; },
    FileNameBytes::SystemCodePage,
};

} // namespace

const ClientApi& UnavailableClientApi(const std::string& reason) {
    gReason = "No está disponible la biblioteca cliente de Firebird: " + reason;
    return kUnavailableTable;
}

} // namespace veltor::fb
