// The Linux service manager against a stand-in `service` command that takes half a second to
// start or stop a unit, and the service control driven over it.
#include "platform/posix/LinuxServiceManager.h"
#include "dbserver/ServiceControl.h"
#include "tests/support/FakeServiceControlMemo.h"
#include "tests/support/ScratchFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace veltor::posix {
namespace {

using test::ReadFile;
using test::ScratchFolder;
using test::WriteFile;
using ::testing::HasSubstr;

constexpr const char* kServer = "FirebirdGuardianDefaultInstance";

// True when no child of this process is left, reaped or not.
bool NoChildLeft() {
    int status = 0;
    return ::waitpid(-1, &status, WNOHANG) < 0 && errno == ECHILD;
}

class LinuxServiceManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string command = folder / "service";
        WriteFile(command, "#!/bin/sh\n"
                           "dir=$(dirname \"$0\")\n"
                           "echo \"$*\" >> \"$dir/calls\"\n"
                           "case \"$2\" in\n"
                           "  start) sleep 0.5; touch \"$dir/running\" ;;\n"
                           "  stop) sleep 0.5; rm -f \"$dir/running\" ;;\n"
                           "  status) test -f \"$dir/status-$1\" && exit $(cat \"$dir/status-$1\")\n"
                           "          test -f \"$dir/running\" ;;\n"
                           "  *) exit 2 ;;\n"
                           "esac\n");
        ::chmod(command.c_str(), 0755);
        ::mkdir((folder / "init.d").c_str(), 0755);
        ::mkdir((folder / "units").c_str(), 0755);
        WriteFile(folder / "init.d/firebird3.0", "");
        ::chmod((folder / "init.d/firebird3.0").c_str(), 0755);
        options.serviceCommand = command;
        options.initScriptFolder = folder / "init.d";
        options.unitFileFolders = {folder / "units"};
        options.systemdMarker = folder / "systemd-runs"; // made by the tests that want systemd
        options.privileged = true;
        options.pendingWaitHint = 100;
    }
    void TearDown() override {
        scm.reset();
        EXPECT_TRUE(NoChildLeft());
    }
    std::unique_ptr<IServiceManager>& Scm() {
        if (!scm) scm = MakeLinuxServiceManager(options);
        return scm;
    }
    ServiceHandle OpenServer(ServiceHandle manager, std::uint32_t access = 0x3C) {
        return Scm()->OpenServiceByName(manager, kServer, access);
    }
    std::string Calls() { return ReadFile(folder / "calls"); }

    ScratchFolder folder{"service-manager"};
    LinuxServiceOptions options;
    std::unique_ptr<IServiceManager> scm;
};

TEST_F(LinuxServiceManagerTest, StartAndStopAreReportedAsPendingWhileTheCommandRuns) {
    const ServiceHandle manager = Scm()->OpenManager(nullptr, nullptr, 9);
    const ServiceHandle server = OpenServer(manager);
    ASSERT_NE(server, kNoServiceHandle);
    ServiceStatus status;
    ASSERT_TRUE(scm->QueryStatus(server, status));
    EXPECT_EQ(status.dwCurrentState, service::kStopped);

    ASSERT_TRUE(scm->Start(server));
    ASSERT_TRUE(scm->QueryStatus(server, status));
    EXPECT_EQ(status.dwCurrentState, service::kStartPending);
    EXPECT_EQ(status.dwWaitHint, 100u);
    const std::uint32_t firstCheckPoint = status.dwCheckPoint;
    ASSERT_TRUE(scm->QueryStatus(server, status));
    EXPECT_GT(status.dwCheckPoint, firstCheckPoint);
    for (int i = 0; i < 100 && status.dwCurrentState == service::kStartPending; ++i) {
        scm->Sleep(50);
        ASSERT_TRUE(scm->QueryStatus(server, status));
    }
    EXPECT_EQ(status.dwCurrentState, service::kRunning);

    ASSERT_TRUE(scm->Control(server, service::kControlStop, status));
    EXPECT_EQ(status.dwCurrentState, service::kStopPending);
    for (int i = 0; i < 100 && status.dwCurrentState == service::kStopPending; ++i) {
        scm->Sleep(50);
        ASSERT_TRUE(scm->QueryStatus(server, status));
    }
    EXPECT_EQ(status.dwCurrentState, service::kStopped);
    EXPECT_THAT(Calls(), HasSubstr("firebird3.0 start\n"));
    EXPECT_THAT(Calls(), HasSubstr("firebird3.0 stop\n"));
    EXPECT_TRUE(scm->Close(server));
    EXPECT_TRUE(scm->Close(manager));
    EXPECT_FALSE(scm->Close(manager));
}

// The wait's sleep ends when the start command does (after half a second), not after the ten
// seconds asked; without a command under way the whole time is slept.
TEST_F(LinuxServiceManagerTest, SleepEndsWhenTheCommandUnderWayEnds) {
    const ServiceHandle manager = Scm()->OpenManager(nullptr, nullptr, 9);
    const ServiceHandle server = OpenServer(manager);
    ASSERT_TRUE(scm->Start(server));
    const auto begun = std::chrono::steady_clock::now();
    scm->Sleep(10000);
    EXPECT_LT(std::chrono::steady_clock::now() - begun, std::chrono::seconds(5));
    ServiceStatus status;
    ASSERT_TRUE(scm->QueryStatus(server, status));
    EXPECT_EQ(status.dwCurrentState, service::kRunning);

    const auto idle = std::chrono::steady_clock::now();
    scm->Sleep(200);
    EXPECT_GE(std::chrono::steady_clock::now() - idle, std::chrono::milliseconds(200));
}

// A stop right after a query acts on the state that query read; with the reuse turned off, or
// without a query before, the stop reads the state itself.
TEST_F(LinuxServiceManagerTest, StopRightAfterAQueryDoesNotAskTheStatusAgain) {
    WriteFile(folder / "running", "");
    for (const std::uint32_t reuse : {250u, 0u}) {
        options.statusReuseMs = reuse;
        scm.reset();
        const ServiceHandle manager = Scm()->OpenManager(nullptr, nullptr, 9);
        const ServiceHandle server = OpenServer(manager);
        WriteFile(folder / "calls", "");
        ServiceStatus status;
        ASSERT_TRUE(scm->QueryStatus(server, status));
        ASSERT_TRUE(scm->Control(server, service::kControlStop, status));
        scm.reset(); // waits for the stop
        EXPECT_EQ(Calls(), reuse ? "firebird3.0 status\nfirebird3.0 stop\n"
                                 : "firebird3.0 status\nfirebird3.0 status\nfirebird3.0 stop\n");
        WriteFile(folder / "running", "");
    }
}

TEST_F(LinuxServiceManagerTest, RefusesToStopAStoppedUnitOrStartARunningOne) {
    const ServiceHandle manager = Scm()->OpenManager(nullptr, nullptr, 9);
    const ServiceHandle server = OpenServer(manager);
    ServiceStatus status;
    status.dwCurrentState = 99;
    EXPECT_FALSE(scm->Control(server, service::kControlStop, status));
    EXPECT_EQ(scm->LastError(), service::kErrorServiceNotActive);
    EXPECT_EQ(status.dwCurrentState, service::kStopped);

    WriteFile(folder / "running", "");
    EXPECT_FALSE(scm->Start(server));
    EXPECT_EQ(scm->LastError(), service::kErrorServiceAlreadyRunning);
    scm->Close(server);
    scm->Close(manager);
}

TEST_F(LinuxServiceManagerTest, ServiceControlStopsAndStartsTheUnit) {
    test::FakeServiceControlMemo memo;
    ServiceControl control(*Scm(), memo);
    EXPECT_EQ(control.StartWindowsService("localhost", kServer), service::kRunning);
    EXPECT_EQ(control.StartWindowsService("localhost", kServer), service::kRunning);
    EXPECT_EQ(control.StopWindowsService("LOCALHOST", kServer), service::kStopped);
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(control.StopWindowsService("LOCALHOST", kServer), service::kStopped);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(400)) << "no wait expected";
    EXPECT_TRUE(memo.lines.empty());
}

TEST_F(LinuxServiceManagerTest, DestroyingTheManagerReapsACommandStillRunning) {
    const ServiceHandle manager = Scm()->OpenManager(nullptr, nullptr, 9);
    ASSERT_TRUE(scm->Start(OpenServer(manager)));
    scm.reset();
    EXPECT_TRUE(NoChildLeft());
}

TEST_F(LinuxServiceManagerTest, OnlyThisMachineAndTheActiveDatabaseCanBeOpened) {
    char host[256] = {};
    ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
    std::string upper = host;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const std::string& local :
         {std::string("localhost"), std::string("LocalHost"), std::string(), std::string("127.0.0.1"),
          std::string("::1"), std::string(host), upper, upper.substr(0, upper.find('.'))}) {
        const ServiceHandle manager = Scm()->OpenManager(local.c_str(), "ServicesActive", 1);
        EXPECT_NE(manager, kNoServiceHandle) << local;
        scm->Close(manager);
    }
    for (const std::string& other : {std::string("servidor01"), std::string("127.0.0.2"), std::string(host) + "x"}) {
        EXPECT_EQ(scm->OpenManager(other.c_str(), nullptr, 1), kNoServiceHandle) << other;
        EXPECT_EQ(scm->LastError(), service::kErrorRpcServerUnavailable);
    }
    EXPECT_EQ(scm->OpenManager(nullptr, "ServicesFailed", 1), kNoServiceHandle);
    EXPECT_EQ(scm->LastError(), service::kErrorDatabaseDoesNotExist);
}

// Only a clear answer of the status command is a state: 0 running, 3 stopped, and 1 stopped for
// an init script but not under systemd; anything else fails the query instead of reading as
// stopped, and a stop never takes it for done.
TEST_F(LinuxServiceManagerTest, StatusAnswersThatSayNothingSureFailTheQuery) {
    struct Case {
        bool systemd;
        const char* code;
        std::optional<std::uint32_t> state;
    };
    for (const Case& c :
         {Case{false, "0", service::kRunning}, Case{false, "3", service::kStopped}, Case{false, "1", service::kStopped},
          Case{false, "4", std::nullopt}, Case{false, "2", std::nullopt}, Case{true, "3", service::kStopped},
          Case{true, "1", std::nullopt}, Case{true, "4", std::nullopt}}) {
        SCOPED_TRACE(std::string(c.systemd ? "systemd " : "init ") + c.code);
        if (c.systemd)
            ::mkdir((folder / "systemd-runs").c_str(), 0755);
        else
            ::rmdir((folder / "systemd-runs").c_str());
        WriteFile(folder / "status-firebird3.0", c.code);
        scm.reset();
        const ServiceHandle manager = Scm()->OpenManager(nullptr, nullptr, 9);
        const ServiceHandle server = OpenServer(manager);
        ASSERT_NE(server, kNoServiceHandle);
        ServiceStatus status;
        EXPECT_EQ(scm->QueryStatus(server, status), c.state.has_value());
        if (c.state) {
            EXPECT_EQ(status.dwCurrentState, *c.state);
        }
        scm->Close(server);
        scm->Close(manager);
        test::FakeServiceControlMemo memo;
        ServiceControl control(*scm, memo);
        if (!c.state) {
            EXPECT_EQ(control.StopWindowsService("localhost", kServer), 0u);
        }
    }
}

TEST_F(LinuxServiceManagerTest, ServiceNamesMapOnlyToAUnitTheInitSystemInUseKnows) {
    ::unlink((folder / "init.d/firebird3.0").c_str());
    const ServiceHandle manager = Scm()->OpenManager(nullptr, nullptr, 9);
    EXPECT_EQ(OpenServer(manager), kNoServiceHandle);
    EXPECT_EQ(scm->LastError(), service::kErrorServiceDoesNotExist);
    EXPECT_EQ(scm->OpenServiceByName(manager, "postgresql", 4), kNoServiceHandle);

    // Unit files count only under systemd; an init script that cannot run counts nowhere.
    WriteFile(folder / "units/firebird-superserver.service", "");
    WriteFile(folder / "units/firebird.service", "");
    WriteFile(folder / "init.d/firebird4.0", "");
    EXPECT_EQ(scm->OpenServiceByName(manager, "firebirdguardiandefaultinstance", 4), kNoServiceHandle);
    scm->Close(manager);
    ::mkdir((folder / "systemd-runs").c_str(), 0755);
    WriteFile(folder / "status-firebird", "3"); // systemctl's answer for a stopped unit
    scm.reset();
    const ServiceHandle underSystemd = Scm()->OpenManager(nullptr, nullptr, 9);
    const ServiceHandle server = scm->OpenServiceByName(underSystemd, "firebirdguardiandefaultinstance", 4);
    ASSERT_NE(server, kNoServiceHandle);
    ServiceStatus status;
    WriteFile(folder / "calls", "");
    EXPECT_TRUE(scm->QueryStatus(server, status));
    EXPECT_EQ(Calls(), "firebird status\n");
    scm->Close(server);
    scm->Close(underSystemd);
}

// An init script that a removed package left behind comes first in the order of preference;
// the unit that runs is taken all the same.
TEST_F(LinuxServiceManagerTest, OfSeveralKnownUnitsTheRunningOneIsTaken) {
    WriteFile(folder / "init.d/firebird4.0", "");
    ::chmod((folder / "init.d/firebird4.0").c_str(), 0755);
    WriteFile(folder / "status-firebird3.0", "3");
    WriteFile(folder / "status-firebird4.0", "0");
    const ServiceHandle manager = Scm()->OpenManager(nullptr, nullptr, 9);
    const ServiceHandle server = OpenServer(manager);
    ASSERT_NE(server, kNoServiceHandle);
    WriteFile(folder / "calls", "");
    ServiceStatus status;
    EXPECT_TRUE(scm->QueryStatus(server, status));
    EXPECT_EQ(status.dwCurrentState, service::kRunning);
    EXPECT_EQ(Calls(), "firebird4.0 status\n");
    scm->Close(server);
    // None runs: the first in the order of preference.
    WriteFile(folder / "status-firebird4.0", "3");
    const ServiceHandle again = OpenServer(manager);
    WriteFile(folder / "calls", "");
    EXPECT_TRUE(scm->QueryStatus(again, status));
    EXPECT_EQ(Calls(), "firebird3.0 status\n");
    scm->Close(again);
    scm->Close(manager);
}

TEST_F(LinuxServiceManagerTest, UnprivilegedProcessMayOnlyLookAndHasNoDependentsToList) {
    options.privileged = false;
    EXPECT_EQ(Scm()->OpenManager(nullptr, nullptr, 9), kNoServiceHandle);
    EXPECT_EQ(scm->LastError(), service::kErrorAccessDenied);
    const ServiceHandle manager = scm->OpenManager(nullptr, nullptr, 1);
    EXPECT_EQ(OpenServer(manager, 0x14), kNoServiceHandle);
    EXPECT_EQ(scm->LastError(), service::kErrorAccessDenied);

    const ServiceHandle server = OpenServer(manager, service::kEnumerateDependents);
    std::uint32_t needed = 1, count = 1;
    EXPECT_TRUE(scm->EnumerateDependents(server, service::kStateActive, nullptr, 0, needed, count));
    EXPECT_EQ(needed, 0u);
    EXPECT_EQ(count, 0u);
    scm->Close(server);
    scm->Close(manager);
}

// The real machine's unit folders and `service` command; neither case reaches the unit.
TEST(LinuxServiceManagerOnThisMachine, UnknownServiceGivesZeroAndOtherMachinesTheirMemoLine) {
    const std::unique_ptr<IServiceManager> scm = MakeLinuxServiceManager();
    test::FakeServiceControlMemo memo;
    ServiceControl control(*scm, memo);
    EXPECT_EQ(control.StopWindowsService("localhost", "NoSuchService"), 0u);
    EXPECT_EQ(control.StartWindowsService("localhost", "NoSuchService"), 0u);
    EXPECT_TRUE(memo.lines.empty());
    EXPECT_EQ(control.StopWindowsService("SERVIDOR01", kServer), 0u);
    EXPECT_EQ(control.StartWindowsService("SERVIDOR01", kServer), 0u);
    const std::string line = std::string(test::FakeServiceControlMemo::kPrefix) + "Error abriendo SCM: 1722";
    EXPECT_THAT(memo.lines, ::testing::ElementsAre(line, line));
}

} // namespace
} // namespace veltor::posix
