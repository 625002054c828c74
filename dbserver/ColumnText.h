#pragma once
// Column values of a fetched row as the texts that the runs read:
// - NULL: the empty text;
// - SMALLINT, INTEGER, BIGINT and scaled NUMERIC/DECIMAL: decimal digits with a point
//   ("-123.45"), as many decimals as the scale, no thousands separator;
// - CHAR: its bytes, with the padding blanks the server sends; VARCHAR: its bytes;
// - FLOAT and DOUBLE PRECISION: up to 15 significant digits, point as separator;
// - TIMESTAMP "YYYY-MM-DD HH:MM:SS", DATE "YYYY-MM-DD", TIME "HH:MM:SS" (fractions of a
//   second dropped);
// - BOOLEAN "True" or "False".
// BLOB and ARRAY columns have no text here.

#include "dbserver/FbClientApi.h"

#include <optional>
#include <string>

namespace veltor::sql {

// True when values of the column's type can be read as text.
bool HasText(const fb::SqlVar& column);

// The bytes a fetch needs for the value of the column.
std::size_t ValueBufferSize(const fb::SqlVar& column);

// The value that a fetch left in the column's buffers. Columns for which HasText is false
// give the empty text.
std::string ColumnText(const fb::SqlVar& column);

// Dates of the server: days since 17 November 1858 (its day zero).
std::string DateText(int serverDay);
// Times of the server: ten-thousandths of a second since midnight.
std::string TimeText(unsigned int serverTime);
// A scaled integer as decimal text.
std::string ScaledText(long long value, int scale);

} // namespace veltor::sql
