// Stops and starts this machine's Firebird server through the service control, as the
// backup-restore cycle does, and checks with real attachments that it went away and came back.
// The server is left running whatever happens.
#include "dbserver/FbClientApi.h"
#include "dbserver/ServiceControl.h"
#include "platform/posix/LinuxServiceManager.h"
#include "tests/support/FakeServiceControlMemo.h"
#include "tests/support/FirebirdServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

namespace veltor::posix {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr const char* kServer = "FirebirdGuardianDefaultInstance";

// The first moment within `limit` at which the server answers; nullopt when it never did.
std::optional<milliseconds> TimeUntilServerAnswers(milliseconds limit) {
    const auto begin = steady_clock::now();
    while (!test::FirebirdServerAnswers()) {
        if (steady_clock::now() - begin > limit) return std::nullopt;
        std::this_thread::sleep_for(milliseconds(100));
    }
    return std::chrono::duration_cast<milliseconds>(steady_clock::now() - begin);
}

class FirebirdServerService : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(test::RequireFirebirdServer()); }
    void TearDown() override {
        if (TimeUntilServerAnswers(milliseconds(2000))) return;
        control.StartWindowsService("localhost", kServer);
        if (TimeUntilServerAnswers(milliseconds(10000))) return;
        ADD_FAILURE() << "the server did not come back; starting it with scripts/start-firebird";
        EXPECT_EQ(std::system(VELTOR_SOURCE_DIR "/scripts/start-firebird"), 0);
    }

    std::unique_ptr<IServiceManager> scm = MakeLinuxServiceManager();
    test::FakeServiceControlMemo memo;
    ServiceControl control{*scm, memo};
};

TEST_F(FirebirdServerService, StopsAndStartsTheServer) {
    ASSERT_EQ(control.StopWindowsService("LOCALHOST", kServer), service::kStopped);
    EXPECT_FALSE(test::FirebirdServerAnswers());

    auto begin = steady_clock::now();
    EXPECT_EQ(control.StopWindowsService("localhost", kServer), service::kStopped);
    EXPECT_LT(steady_clock::now() - begin, milliseconds(1000)) << "stopping a stopped server does not wait";
    EXPECT_FALSE(test::FirebirdServerAnswers());

    ASSERT_EQ(control.StartWindowsService("LocalHost", kServer), service::kRunning);
    EXPECT_TRUE(test::FirebirdServerAnswers()) << "the server answers as soon as the start returns";

    begin = steady_clock::now();
    EXPECT_EQ(control.StartWindowsService("localhost", kServer), service::kRunning);
    EXPECT_LT(steady_clock::now() - begin, milliseconds(1000)) << "starting a running server does not wait";
    EXPECT_TRUE(memo.lines.empty());
}

} // namespace
} // namespace veltor::posix
