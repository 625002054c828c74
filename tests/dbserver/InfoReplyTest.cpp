#include "dbserver/InfoReply.h"

#include <gtest/gtest.h>

#include <string>

namespace veltor::fb {
namespace {

using namespace std::string_literals;

TEST(InfoReply, ItemWhoseValueJustFitsIsReadAndOneByteShortIsRefused) {
    const std::string fits = "\x15\x02\x00\xAB\xCD"s;
    InfoReply whole(fits.data(), fits.size());
    EXPECT_EQ(whole.Item(0x15), "\xAB\xCD");
    EXPECT_FALSE(whole.AtEnd()); // the reply ends without the end item

    InfoReply cut(fits.data(), fits.size() - 1);
    EXPECT_FALSE(cut.Item(0x15).has_value());
    InfoReply headerOnly(fits.data(), 2);
    EXPECT_FALSE(headerOnly.Item(0x15).has_value());
}

TEST(InfoReply, OtherTagLeavesThePositionAndItemsFollowOneAnother) {
    const std::string reply = "\x15\x01\x00\x07\x20\x00\x00\x01"s;
    InfoReply items(reply.data(), reply.size());
    EXPECT_FALSE(items.Item(0x20).has_value());
    EXPECT_EQ(items.Item(0x15), "\x07");
    EXPECT_EQ(items.Item(0x20), "");
    EXPECT_TRUE(items.AtEnd());
}

TEST(InfoReply, FixedItemHasNoLengthAndMustFit) {
    const std::string reply = "\x43\x01\x00\x00\x80"s;
    EXPECT_EQ(InfoReply(reply.data(), reply.size()).FixedItem(0x43, 4), 0x80000001u);
    EXPECT_FALSE(InfoReply(reply.data(), reply.size() - 1).FixedItem(0x43, 4).has_value());
    EXPECT_FALSE(InfoReply(reply.data(), reply.size()).FixedItem(0x44, 4).has_value());
}

TEST(InfoReply, LittleEndianReadsUpToEightBytes) {
    EXPECT_EQ(LittleEndian(""), 0u);
    EXPECT_EQ(LittleEndian("\x01\x00\x00\x00\x00\x00\x00\x80"s), 0x8000000000000001u);
}

} // namespace
} // namespace veltor::fb
