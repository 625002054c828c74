#include "dbserver/ParameterBlock.h"

#include <gtest/gtest.h>

namespace veltor::fb {
namespace {

TEST(ParameterBlock, WritesLengthsAndIntegersLittleEndian) {
    ParameterBlock b;
    b.Byte(2).String1(28, "SYSDBA").String2(106, "db").Int4(108, 0x3000).LengthInt4(63, 0x01020304);
    EXPECT_EQ(b.bytes(), std::string("\x02\x1c\x06SYSDBA\x6a\x02\x00"
                                     "db\x6c\x00\x30\x00\x00\x3f\x04\x04\x03\x02\x01",
                                     25));
}

TEST(ParameterBlock, RefusesValuesTooLongForTheirLength) {
    ParameterBlock b;
    EXPECT_THROW(b.String1(28, std::string(256, 'x')), std::length_error);
    EXPECT_NO_THROW(b.String2(106, std::string(256, 'x')));
}

} // namespace
} // namespace veltor::fb
