#include "dbserver/FirebirdError.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace veltor::fb {
namespace {

// A status vector whose texts the fake interpreter hands out one by one.
std::vector<std::string> gTexts;

ClientApi FakeInterpreter() {
    ClientApi api{};
    api.interpret = [](char* buffer, unsigned int size, const Status** cursor) -> std::int32_t {
        const auto index = static_cast<size_t>((*cursor)[0]);
        if (index == 0 || index >= gTexts.size()) return 0;
        std::strncpy(buffer, gTexts[index].c_str(), size - 1);
        ++*cursor;
        return static_cast<std::int32_t>(gTexts[index].size());
    };
    api.sqlcode = [](const Status*) -> std::int32_t { return -902; };
    return api;
}

TEST(FirebirdErrorFromStatus, JoinsTextsWithCrLfAndDropsTheFinalPeriod) {
    gTexts = {"", "unavailable database", "Error while connecting\n", "connection refused."};
    const ClientApi api = FakeInterpreter();
    // The fake reads each entry as the index of its text, up to a 0 entry.
    const Status status[] = {1, 2, 3, 0};
    const FirebirdError e = ErrorFromStatus(api, status);
    EXPECT_STREQ(e.message(), "unavailable database\r\nError while connecting\nconnection refused");
    EXPECT_EQ(e.sqlCode(), -902);
}

TEST(FirebirdErrorFromStatus, CarriesTheFirstEngineCode) {
    gTexts = {"", "first"};
    const ClientApi api = FakeInterpreter();
    // {isc_arg_gds, 1, isc_arg_end}: the fake interpreter reads the 1 as its text and stops at
    // the end entry.
    const Status status[] = {1, 1, 0, 9};
    const FirebirdError e = ErrorFromStatus(api, status);
    EXPECT_EQ(e.engineCode(), 1);
    EXPECT_FALSE(e.isPermissionDenied());
}

} // namespace
} // namespace veltor::fb
