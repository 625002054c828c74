// The machine and the port of the server texts that ADMINBD.inf may hold.
#include "dbserver/ServerAddress.h"

#include <gtest/gtest.h>

namespace veltor {
namespace {

TEST(ServerAddress, TheMachineIsWhatComesBeforeThePortInEachForm) {
    struct Case {
        const char* text;
        const char* host;
        const char* port;
    };
    for (const Case& c : {Case{"localhost", "localhost", ""}, Case{"localhost/3050", "localhost", "3050"},
                          Case{"127.0.0.1/3051", "127.0.0.1", "3051"}, Case{"[::1]/3050", "::1", "3050"},
                          Case{"[::1]", "::1", ""}, Case{"::1", "::1", ""},
                          Case{"SERVIDOR01/GDS_DB", "SERVIDOR01", "GDS_DB"}, Case{"localhost/", "localhost", ""}}) {
        const ServerAddress address = SplitServerText(c.text);
        EXPECT_EQ(address.host, c.host) << c.text;
        EXPECT_EQ(address.port, c.port) << c.text;
    }
}

TEST(ServerAddress, OnlyTheDefaultInstancesPortWrittenOrNotReachesTheDefaultInstance) {
    for (const char* text : {"localhost", "localhost/3050", "127.0.0.1/3050", "[::1]/3050", "servidor01", "[::1]",
                             "LOCALHOST/GDS_DB", "localhost/03050", "localhost/"})
        EXPECT_TRUE(AtDefaultInstancePort(SplitServerText(text))) << text;
    for (const char* text : {"localhost/3051", "localhost/3049", "127.0.0.1/3051", "[::1]/3051", "servidor01/3051",
                             "localhost/30500", "localhost/fb_db", "localhost/ 3050", "localhost/4294970346"})
        EXPECT_FALSE(AtDefaultInstancePort(SplitServerText(text))) << text;
}

} // namespace
} // namespace veltor
