// The Linux service manager against a stand-in `service` command that takes half a second to
// start or stop a unit, and the service control driven over it.
#include "platform/posix/LinuxServiceManager.h"
#include "dbserver/ServiceControl.h"
#include "tests/support/FakeServiceControlMemo.h"
#include "tests/support/ScratchFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <sys/stat.h>
#include <sys/wait.h>

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
                           "  status) test -f \"$dir/running\" ;;\n"
                           "  *) exit 2 ;;\n"
                           "esac\n");
        ::chmod(command.c_str(), 0755);
        ::mkdir((folder / "init.d").c_str(), 0755);
        ::mkdir((folder / "units").c_str(), 0755);
        WriteFile(folder / "init.d/firebird3.0", "");
        options.serviceCommand = command;
        options.unitFolders = {folder / "init.d", folder / "units"};
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
    for (const char* local : {"localhost", "LocalHost", ""}) {
        const ServiceHandle manager = Scm()->OpenManager(local, "ServicesActive", 1);
        EXPECT_NE(manager, kNoServiceHandle) << local;
        scm->Close(manager);
    }
    EXPECT_EQ(scm->OpenManager("servidor01", nullptr, 1), kNoServiceHandle);
    EXPECT_EQ(scm->LastError(), service::kErrorRpcServerUnavailable);
    EXPECT_EQ(scm->OpenManager(nullptr, "ServicesFailed", 1), kNoServiceHandle);
    EXPECT_EQ(scm->LastError(), service::kErrorDatabaseDoesNotExist);
}

TEST_F(LinuxServiceManagerTest, ServiceNamesMapOnlyToAnInstalledUnitInOrderOfPreference) {
    ::unlink((folder / "init.d/firebird3.0").c_str());
    const ServiceHandle manager = Scm()->OpenManager(nullptr, nullptr, 9);
    EXPECT_EQ(OpenServer(manager), kNoServiceHandle);
    EXPECT_EQ(scm->LastError(), service::kErrorServiceDoesNotExist);
    EXPECT_EQ(scm->OpenServiceByName(manager, "postgresql", 4), kNoServiceHandle);

    WriteFile(folder / "units/firebird-superserver.service", "");
    WriteFile(folder / "units/firebird.service", "");
    const ServiceHandle server = scm->OpenServiceByName(manager, "firebirdguardiandefaultinstance", 4);
    ASSERT_NE(server, kNoServiceHandle);
    ServiceStatus status;
    EXPECT_TRUE(scm->QueryStatus(server, status));
    EXPECT_EQ(Calls(), "firebird status\n");
    scm->Close(server);
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
