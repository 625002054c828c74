#include "dbserver/ParameterBlock.h"
#include "dbserver/SqlDatabase.h"
#include "tests/support/FakeAttachments.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace veltor::fb {
namespace {

using namespace std::string_literals;

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

// The block of every SQL connection (the catalogue's, the restored database's), as the library
// receives it: the fixed attributes, and where names are UTF-8 the flag that says so.
TEST(DatabaseAttachmentBlock, Utf8NamesAreFlaggedAndTheNameIsPassedAsItIs) {
    test::RecordedAttachments recorded;
    test::gRecordedAttachments = &recorded;
    const std::string name = "localhost:/srv/Compañía/A.FDB";
    for (FileNameBytes names : {FileNameBytes::SystemCodePage, FileNameBytes::Utf8}) {
        const ClientApi api = test::RecordingAttachmentsApi(names);
        sql::SqlDatabase database(api);
        database.SetDatabaseName(name);
        database.SetPassword("quillbank");
        database.Connect();
        database.Disconnect();
    }
    test::gRecordedAttachments = nullptr;
    const std::string attributes = "\x01\x1c\x06SYSDBA\x1d\x09quillbank\x3f\x04\x03\x00\x00\x00"s;
    EXPECT_THAT(recorded.names, ::testing::ElementsAre(name, name));
    EXPECT_THAT(recorded.blocks, ::testing::ElementsAre(attributes, attributes + "\x4d\x00"s));
}

} // namespace
} // namespace veltor::fb
