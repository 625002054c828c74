// Stops and starts this machine's Firebird server through the service control, as the
// backup-restore cycle does, and checks with real attachments that it went away and came back.
// The server is left running whatever happens.
#include "dbserver/FbClientApi.h"
#include "dbserver/ServiceControl.h"
#include "platform/posix/LinuxServiceManager.h"
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

class MemoSpy : public IServiceControlMemo {
public:
    std::string StampPrefix() override { return "P"; }
    void WriteMemoLine(const std::string& line) override { lines.push_back(line); }
    std::vector<std::string> lines;
};

// Whether the local server accepts SYSDBA on its service manager right now.
bool ServerAnswers() {
    const char* why = nullptr;
    const fb::ClientApi* api = fb::LoadClientApi(&why);
    if (api == nullptr) return false;
    std::string spb = {2, 2};
    for (const auto& [tag, value] : {std::pair<char, std::string>{28, "SYSDBA"}, {29, test::kAdminPassword}}) {
        spb += tag;
        spb += static_cast<char>(value.size());
        spb += value;
    }
    fb::Status status[fb::kStatusLength] = {};
    fb::Handle handle = 0;
    const std::string name = "localhost:service_mgr";
    api->service_attach(status, static_cast<unsigned short>(name.size()), name.c_str(), &handle,
                        static_cast<unsigned short>(spb.size()), spb.data());
    if (status[0] == 1 && status[1] != 0) return false;
    api->service_detach(status, &handle);
    return true;
}

// The first moment within `limit` at which the server answers; nullopt when it never did.
std::optional<milliseconds> TimeUntilServerAnswers(milliseconds limit) {
    const auto begin = steady_clock::now();
    while (!ServerAnswers()) {
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
    MemoSpy memo;
    ServiceControl control{*scm, memo};
};

TEST_F(FirebirdServerService, StopsAndStartsTheServer) {
    ASSERT_EQ(control.StopWindowsService("LOCALHOST", kServer), service::kStopped);
    EXPECT_FALSE(ServerAnswers());

    auto begin = steady_clock::now();
    EXPECT_EQ(control.StopWindowsService("localhost", kServer), service::kStopped);
    EXPECT_LT(steady_clock::now() - begin, milliseconds(1000)) << "stopping a stopped server does not wait";
    EXPECT_FALSE(ServerAnswers());

    ASSERT_EQ(control.StartWindowsService("LocalHost", kServer), service::kRunning);
    EXPECT_TRUE(ServerAnswers()) << "the server answers as soon as the start returns";

    begin = steady_clock::now();
    EXPECT_EQ(control.StartWindowsService("localhost", kServer), service::kRunning);
    EXPECT_LT(steady_clock::now() - begin, milliseconds(1000)) << "starting a running server does not wait";
    EXPECT_TRUE(memo.lines.empty());
}

} // namespace
} // namespace veltor::posix
