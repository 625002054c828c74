// The client-library boundary over libfbclient, linked at build time.
#include "dbserver/FbClientApi.h"
#include "dbserver/FbConstants.h"
#include "platform/FbClientLayout.h"

#include <ibase.h>

#include <clocale>
#include <cstring>
#include <langinfo.h>
#include <type_traits>

namespace veltor::fb {
namespace {

// The library's own typedef, not only one of the same size.
static_assert(std::is_same_v<std::int32_t, isc_resv_handle>);

XSQLDA* Native(SqlDa* da) {
    return reinterpret_cast<XSQLDA*>(da);
}
const XSQLDA* Native(const SqlDa* da) {
    return reinterpret_cast<const XSQLDA*>(da);
}

const ClientApi kLinked = {
    [](Status* s, short n, const char* name, Handle* h, short l, const char* dpb) {
        return isc_attach_database(s, n, name, h, l, dpb);
    },
    [](Status* s, Handle* h) { return isc_detach_database(s, h); },
    [](Status* s, Handle* h, short il, const char* items, short bl, char* buf) {
        return isc_database_info(s, h, il, items, bl, buf);
    },
    [](Status* s, Handle* t, short n, void* teb) { return isc_start_multiple(s, t, n, teb); },
    [](Status* s, Handle* t) { return isc_commit_transaction(s, t); },
    [](Status* s, Handle* t) { return isc_rollback_transaction(s, t); },
    [](Status* s, Handle* db, Handle* st) { return isc_dsql_allocate_statement(s, db, st); },
    [](Status* s, Handle* t, Handle* st, unsigned short len, const char* sql, unsigned short dialect, SqlDa* da) {
        return isc_dsql_prepare(s, t, st, len, sql, dialect, Native(da));
    },
    [](Status* s, Handle* st, unsigned short v, SqlDa* da) { return isc_dsql_describe(s, st, v, Native(da)); },
    [](Status* s, Handle* t, Handle* st, unsigned short v, const SqlDa* da) {
        return isc_dsql_execute(s, t, st, v, Native(da));
    },
    [](Status* s, Handle* st, unsigned short v, const SqlDa* da) { return isc_dsql_fetch(s, st, v, Native(da)); },
    [](Status* s, Handle* st, unsigned short option) { return isc_dsql_free_statement(s, st, option); },
    [](Status* s, Handle* st, short il, const char* items, short bl, char* buf) {
        return isc_dsql_sql_info(s, st, il, items, bl, buf);
    },
    [](Status* s, unsigned short n, const char* name, Handle* h, unsigned short l, const char* spb) {
        return isc_service_attach(s, n, name, h, l, spb);
    },
    [](Status* s, Handle* h) { return isc_service_detach(s, h); },
    [](Status* s, Handle* h, std::int32_t* r, unsigned short l, const char* spb) {
        return isc_service_start(s, h, r, l, spb);
    },
    [](Status* s, Handle* h, std::int32_t* r, unsigned short sl, const char* send, unsigned short rl, const char* req,
       unsigned short bl, char* buf) { return isc_service_query(s, h, r, sl, send, rl, req, bl, buf); },
    [](const Status* s) { return static_cast<std::int32_t>(isc_sqlcode(s)); },
    [](char* buf, unsigned int size, const Status** cursor) {
        return static_cast<std::int32_t>(fb_interpret(buf, size, cursor));
    },
    [](unsigned int timeout, int reason) { return fb_shutdown(timeout, reason); },
    FileNameBytes::Utf8,
};

// The library reads every file name through the character set of the process's LC_CTYPE
// (nl_langinfo(CODESET)), which stays ASCII until a program sets a locale: a database or backup
// path with a letter beyond ASCII then fails ("Cannot transliterate character between character
// sets"). The UTF-8 flags of the blocks spare the paths of a service action that conversion, but
// not the name of an attachment, which the library converts to that character set whatever the
// flag says (over TCP too, before it sends it), nor the files the local engine of this process
// opens (the restore, the reads of a stopped server's files). Names on Linux are UTF-8 bytes, so
// the character type is made UTF-8 whatever the environment says (a unit without a locale, C);
// only LC_CTYPE, nothing else of the process's locale. The library makes its converters once, at
// its first conversion, so this comes before any call into it. A system without C.UTF-8 keeps
// its character set, and such names fail there as before (backups over TCP excepted).
void UseUtf8CharacterType() {
    const char* codeset = nl_langinfo(CODESET);
    if (codeset != nullptr && std::strcmp(codeset, "UTF-8") == 0) return;
    std::setlocale(LC_CTYPE, "C.UTF-8");
}

} // namespace

const ClientApi* LoadClientApi(const char** whyMissing) {
    static const bool prepared = (UseUtf8CharacterType(), true);
    static_cast<void>(prepared);
    if (whyMissing) *whyMissing = nullptr;
    return &kLinked;
}

const ClientLibraryFacts& LoadedClientLibrary() {
    // Linked with the system's library, whose package brings the engine with it.
    static const ClientLibraryFacts linked;
    return linked;
}

} // namespace veltor::fb
