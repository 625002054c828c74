#pragma once
// The boundary's mirrors of the client library's types, structures and constants
// (dbserver/FbClientApi.h, dbserver/FbConstants.h) checked at compile time against the
// library's own C header, by each adapter that hands them to the library. Include it after the
// adapter has made <ibase.h> reachable.

#include "dbserver/FbClientApi.h"
#include "dbserver/FbConstants.h"

#include <ibase.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace veltor::fb {

static_assert(std::is_same_v<Status, ISC_STATUS>);
static_assert(std::is_same_v<Handle, FB_API_HANDLE>);
// A long on Windows, an int on Linux: 32 bits on both.
static_assert(sizeof(std::int32_t) == sizeof(isc_resv_handle));
static_assert(kStatusLength == ISC_STATUS_LENGTH);
static_assert(sizeof(SqlVar) == sizeof(XSQLVAR));
static_assert(offsetof(SqlVar, sqldata) == offsetof(XSQLVAR, sqldata));
static_assert(offsetof(SqlVar, sqlind) == offsetof(XSQLVAR, sqlind));
static_assert(offsetof(SqlVar, sqlname) == offsetof(XSQLVAR, sqlname));
static_assert(offsetof(SqlVar, aliasname) == offsetof(XSQLVAR, aliasname));
static_assert(offsetof(SqlDa, sqln) == offsetof(XSQLDA, sqln));
static_assert(offsetof(SqlDa, sqlvar) == offsetof(XSQLDA, sqlvar));
static_assert(kSqlVarying == SQL_VARYING && kSqlTimestamp == SQL_TIMESTAMP && kSqlInt64 == SQL_INT64);
static_assert(kSqlDaVersion1 == SQLDA_VERSION1);
static_assert(kShutdownApplicationStopped == fb_shutrsn_app_stopped);
static_assert(dpb::kUtf8FileName == isc_dpb_utf8_filename && spb::kUtf8FileName == isc_spb_utf8_filename);

} // namespace veltor::fb
