#include "dbserver/ServiceControl.h"
#include "tests/support/FakeServiceControlMemo.h"
#include "tests/support/FakeServiceManager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

namespace veltor::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* kServer = "FirebirdGuardianDefaultInstance";
constexpr const char* kPrefix = FakeServiceControlMemo::kPrefix;

class ServiceControlTest : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(scm.OpenHandles(), 0) << "a handle was left open";
        EXPECT_EQ(scm.badCloses, 0) << "a handle was closed twice";
    }
    FakeServiceManager::Service& Server() { return scm.services[kServer]; }
    std::uint32_t Stop(const std::string& machine = "localhost") {
        return control.StopWindowsService(machine, kServer);
    }
    std::uint32_t Start(const std::string& machine = "localhost") {
        return control.StartWindowsService(machine, kServer);
    }

    FakeServiceManager scm;
    FakeServiceControlMemo memo;
    ServiceControl control{scm, memo};
};

TEST(ServiceStateName, NamesTheWindowsStatesAndCallsEverythingElseAnOpeningError) {
    EXPECT_EQ(ServiceStateName(1), "SERVICE_STOPPED");
    EXPECT_EQ(ServiceStateName(2), "SERVICE_START_PENDING");
    EXPECT_EQ(ServiceStateName(3), "SERVICE_STOP_PENDING");
    EXPECT_EQ(ServiceStateName(4), "SERVICE_RUNNING");
    EXPECT_EQ(ServiceStateName(6), "SERVICE_PAUSE_PENDING");
    EXPECT_EQ(ServiceStateName(7), "SERVICE_PAUSED");
    for (std::uint32_t code : {0u, 5u, 8u, 1060u, 0xFFFFFFFFu})
        EXPECT_EQ(ServiceStateName(code), "Error de Apertura en SCM o Servicio") << code;
}

// One row of the wait table: the state read by the first query of the wait and whether each
// wait goes on after it.
struct WaitRow {
    std::uint32_t state;
    std::uint32_t checkPoint;
    bool startGoesOn;
    bool stopGoesOn;
};

class WaitTable : public ServiceControlTest, public ::testing::WithParamInterface<WaitRow> {};

// A wait that goes on queries again and meets "stopped", which ends both waits; a wait that
// ends returns the row's state after its one query.
TEST_P(WaitTable, StartWaitDecidesOnTheStateReadBeforeTheSleep) {
    const WaitRow row = GetParam();
    Server().queries = {MakeServiceStatus(1), MakeServiceStatus(row.state, row.checkPoint, 100), MakeServiceStatus(1)};
    const std::uint32_t result = Start();
    EXPECT_EQ(result, row.startGoesOn ? 1u : row.state);
    EXPECT_EQ(scm.QueriesOf(kServer), row.startGoesOn ? 3 : 2);
    EXPECT_EQ(scm.sleeps.front(), 100u) << "the whole hint is slept before deciding";
}

TEST_P(WaitTable, StopWaitDecidesOnTheStateReadBeforeTheSleep) {
    const WaitRow row = GetParam();
    Server().queries = {MakeServiceStatus(4), MakeServiceStatus(row.state, row.checkPoint, 100), MakeServiceStatus(1)};
    const std::uint32_t result = Stop();
    EXPECT_EQ(result, row.stopGoesOn ? 1u : row.state);
    EXPECT_EQ(scm.QueriesOf(kServer), row.stopGoesOn ? 3 : 2);
}

INSTANTIATE_TEST_SUITE_P(
    EveryState, WaitTable,
    ::testing::Values(WaitRow{1, 0, false, false}, WaitRow{1, 9, false, false}, WaitRow{2, 0, true, false},
                      WaitRow{2, 9, true, true}, WaitRow{3, 0, false, true}, WaitRow{3, 9, false, true},
                      WaitRow{4, 0, false, false}, WaitRow{4, 9, false, true}, WaitRow{5, 0, false, false},
                      WaitRow{5, 9, true, true}, WaitRow{6, 0, false, false}, WaitRow{7, 9, true, true},
                      WaitRow{0, 0, false, false}, WaitRow{8, 9, true, true}),
    [](const ::testing::TestParamInfo<WaitRow>& row) {
        return "State" + std::to_string(row.param.state) + "CheckPoint" + std::to_string(row.param.checkPoint);
    });

TEST_F(ServiceControlTest, StopWaitEndsAtTheFirstCheckAfterSixtySecondsAcrossATickWrap) {
    scm.tick = 0xFFFFFFFFu - 20000; // wraps during the wait
    Server().queries = {MakeServiceStatus(4), MakeServiceStatus(3, 0, 6000)};
    EXPECT_EQ(Stop(), 3u);
    // Exactly 60000 ms after ten sleeps is not over the limit; the eleventh check is.
    EXPECT_EQ(scm.sleeps.size(), 11u);
    EXPECT_EQ(scm.QueriesOf(kServer), 12);
}

TEST_F(ServiceControlTest, StartWaitCanPassTheLimitByOneWholeHint) {
    scm.tick = 0xFFFF0000u;
    Server().queries = {MakeServiceStatus(1), MakeServiceStatus(2, 0, 45000)};
    EXPECT_EQ(Start(), 2u);
    EXPECT_THAT(scm.sleeps, ElementsAre(45000u, 45000u));
}

TEST_F(ServiceControlTest, WaitHintZeroPollsWithoutPausingUntilTheStateSettles) {
    Server().queries = {MakeServiceStatus(1), MakeServiceStatus(2, 0, 0), MakeServiceStatus(2, 0, 0),
                        MakeServiceStatus(4, 0, 0)};
    EXPECT_EQ(Start(), 4u);
    EXPECT_THAT(scm.sleeps, ElementsAre(0u, 0u, 0u));
}

TEST_F(ServiceControlTest, WaitHintZeroStillEndsAtTheLimit) {
    scm.tickPerQuery = 7000;
    Server().queries = {MakeServiceStatus(4), MakeServiceStatus(3, 0, 0)};
    EXPECT_EQ(Stop(), 3u);
    EXPECT_EQ(scm.QueriesOf(kServer), 1 + 9); // 9 queries in the wait: 63000 ms > 60000 ms
}

TEST_F(ServiceControlTest, FailedQueryEndsTheWaitWithTheLastStateHeld) {
    Server().queries = {MakeServiceStatus(1), MakeServiceStatus(2, 0, 10), std::nullopt};
    EXPECT_EQ(Start(), 2u);
}

TEST_F(ServiceControlTest, StoppingAStoppedServiceReturnsStoppedWithoutWaiting) {
    Server().queries = {MakeServiceStatus(1)};
    Server().stopAccepted = false;
    EXPECT_EQ(Stop(), 1u);
    EXPECT_THAT(scm.sleeps, IsEmpty());
    EXPECT_EQ(scm.QueriesOf(kServer), 1);
}

TEST_F(ServiceControlTest, RefusedStopReturnsTheStateThatCameWithTheRefusal) {
    Server().queries = {MakeServiceStatus(4)};
    Server().stopAccepted = false;
    Server().stopError = service::kErrorServiceCannotAcceptControl;
    Server().withRefusal = MakeServiceStatus(2, 3, 1000);
    EXPECT_EQ(Stop(), 2u);
    EXPECT_THAT(scm.sleeps, IsEmpty());
}

TEST_F(ServiceControlTest, StartingARunningServiceReturnsRunningWithoutWaiting) {
    Server().queries = {MakeServiceStatus(4)};
    Server().startAccepted = false;
    EXPECT_EQ(Start(), 4u);
    EXPECT_THAT(scm.sleeps, IsEmpty());
    EXPECT_EQ(scm.QueriesOf(kServer), 1);
}

TEST_F(ServiceControlTest, UnknownServiceOrFailedFirstQueryGivesZeroAndNoMemoLine) {
    EXPECT_EQ(control.StopWindowsService("localhost", "NoSuchService"), 0u);
    EXPECT_EQ(control.StartWindowsService("localhost", "NoSuchService"), 0u);
    Server().queries = {std::nullopt};
    EXPECT_EQ(Stop(), 0u);
    EXPECT_EQ(Start(), 0u);
    EXPECT_THAT(memo.lines, IsEmpty());
    EXPECT_THAT(scm.sleeps, IsEmpty());
}

TEST_F(ServiceControlTest, ManagerThatCannotBeOpenedWritesItsLineAndGivesZero) {
    Server().queries = {MakeServiceStatus(4)};
    scm.managerOpenError = 5;
    EXPECT_EQ(Stop(), 0u);
    scm.managerOpenError = 1060;
    EXPECT_EQ(Start(), 0u);
    scm.managerOpenError = 1722;
    EXPECT_EQ(Stop("SERVIDOR"), 0u);
    EXPECT_THAT(memo.lines, ElementsAre(std::string(kPrefix) + "Error 5: Acceso denegado. Ejecute como Administrador.",
                                        std::string(kPrefix) + "Error 1060: Servicio SCM no está ejecutándose",
                                        std::string(kPrefix) + "Error abriendo SCM: 1722"));
}

TEST_F(ServiceControlTest, LocalhostInAnyCaseOpensTheLocalManagerAndOtherNamesPassUnchanged) {
    Server().queries = {MakeServiceStatus(1)};
    Server().stopAccepted = Server().startAccepted = false;
    for (const char* name : {"localhost", "LOCALHOST", "LocalHost"}) {
        Stop(name);
        Start(name);
    }
    Stop("servidor01");
    Start("localhost2");
    ASSERT_EQ(scm.managerOpenings.size(), 8u);
    for (int i = 0; i < 6; ++i)
        EXPECT_FALSE(scm.managerOpenings[i].machine) << i;
    EXPECT_EQ(scm.managerOpenings[6].machine, "servidor01");
    EXPECT_EQ(scm.managerOpenings[7].machine, "localhost2");
}

// The server text of the configuration may carry a port; the machine is what comes before it.
TEST_F(ServiceControlTest, TheMachineIsTheHostOfTheServerTextAndLoopbackAddressesAreThisMachine) {
    Server().queries = {MakeServiceStatus(1)};
    Server().stopAccepted = Server().startAccepted = false;
    for (const char* name : {"localhost/3050", "127.0.0.1", "127.0.0.1/3050", "::1", "[::1]/3050"}) {
        Stop(name);
        Start(name);
    }
    Stop("servidor01/3050");
    Start("127.0.0.2");
    ASSERT_EQ(scm.managerOpenings.size(), 12u);
    for (int i = 0; i < 10; ++i)
        EXPECT_FALSE(scm.managerOpenings[i].machine) << i;
    EXPECT_EQ(scm.managerOpenings[10].machine, "servidor01");
    EXPECT_EQ(scm.managerOpenings[11].machine, "127.0.0.2");
}

TEST_F(ServiceControlTest, StopAndStartAskForTheirOwnRightsAndDatabase) {
    Server().queries = {MakeServiceStatus(4), MakeServiceStatus(1)};
    Server().dependents = {"Dep"};
    scm.services["Dep"].queries = {MakeServiceStatus(4), MakeServiceStatus(1)};
    Stop();
    Start();
    ASSERT_EQ(scm.managerOpenings.size(), 2u);
    EXPECT_FALSE(scm.managerOpenings[0].database);
    EXPECT_EQ(scm.managerOpenings[0].access, 0x0009u);
    EXPECT_EQ(scm.managerOpenings[1].database, "ServicesActive");
    EXPECT_EQ(scm.managerOpenings[1].access, 0x0001u);
    EXPECT_EQ(scm.calls[1], std::string("open ") + kServer + " 0x2c");
    EXPECT_THAT(scm.calls, ::testing::Contains("open Dep 0x2c"));
    EXPECT_THAT(scm.calls, ::testing::Contains(std::string("open ") + kServer + " 0x14"));
}

TEST_F(ServiceControlTest, DependentsAreStoppedInOrderAndTheUnreachableOnesSkipped) {
    Server().queries = {MakeServiceStatus(4), MakeServiceStatus(1)};
    Server().dependents = {"Locked", "Mute", "Stubborn", "Worker"};
    scm.services["Locked"].openFails = true;
    scm.services["Mute"].queries = {std::nullopt};
    scm.services["Stubborn"].queries = {MakeServiceStatus(4)};
    scm.services["Stubborn"].stopAccepted = false;
    scm.services["Worker"].queries = {MakeServiceStatus(4), MakeServiceStatus(3, 0, 50), MakeServiceStatus(1)};
    EXPECT_EQ(Stop(), 1u);

    const std::string server = kServer;
    EXPECT_THAT(scm.calls, ElementsAre("open-manager", "open " + server + " 0x2c", "query " + server, "list " + server,
                                       "list " + server, "open Locked 0x2c", "open Mute 0x2c", "query Mute",
                                       "close Mute", "open Stubborn 0x2c", "query Stubborn", "stop Stubborn",
                                       "close Stubborn", "open Worker 0x2c", "query Worker", "stop Worker",
                                       "query Worker", "sleep", "query Worker", "sleep", "close Worker",
                                       "stop " + server, "query " + server, "sleep", "close " + server, "close SCM"));
}

TEST_F(ServiceControlTest, StopGoesOnWhenTheDependentsCannotBeListed) {
    Server().queries = {MakeServiceStatus(4), MakeServiceStatus(1)};
    Server().dependents = {"Worker"};
    scm.services["Worker"].queries = {MakeServiceStatus(4)};
    scm.listingFails = true;
    EXPECT_EQ(Stop(), 1u);
    EXPECT_EQ(scm.QueriesOf("Worker"), 0);
}

TEST_F(ServiceControlTest, StopDependentServicesTellsWhetherTheListCouldBeRead) {
    Server().dependents = {};
    const ServiceHandle manager = scm.OpenManager(nullptr, nullptr, 9);
    const ServiceHandle server = scm.OpenServiceByName(manager, kServer, 0x2C);
    EXPECT_TRUE(control.StopDependentServices(manager, server));
    scm.listingFails = true;
    EXPECT_FALSE(control.StopDependentServices(manager, server));
    scm.Close(server);
    scm.Close(manager);
}

TEST_F(ServiceControlTest, ExceptionInsideAnOperationGivesTheLastErrorAndClosesEveryHandle) {
    Server().queries = {MakeServiceStatus(4), MakeServiceStatus(3, 1, 10)};
    Server().dependents = {"Worker"};
    scm.services["Worker"].queries = {MakeServiceStatus(4)};
    scm.beforeCall = [this](const std::string& call) {
        if (call == "stop Worker") {
            scm.lastError = 1450;
            throw std::runtime_error("out of resources");
        }
    };
    EXPECT_EQ(Stop(), 1450u);

    scm.beforeCall = [this](const std::string& call) {
        if (call == "sleep") {
            scm.lastError = 8;
            throw std::bad_alloc();
        }
    };
    Server().queries = {MakeServiceStatus(1), MakeServiceStatus(2, 0, 10)};
    EXPECT_EQ(Start(), 8u);
}

// A last error that reads as a service state would pass for a stopped or running service.
TEST_F(ServiceControlTest, ExceptionWithALastErrorThatReadsAsAStateGivesZero) {
    Server().queries = {MakeServiceStatus(4)};
    std::uint32_t error = 1;
    scm.beforeCall = [&](const std::string& call) {
        if (call.starts_with("stop")) {
            scm.lastError = error;
            throw std::runtime_error("failed");
        }
    };
    EXPECT_EQ(Stop(), 0u);
    error = 5; // named as an error already: kept
    EXPECT_EQ(Stop(), 5u);
}

} // namespace
} // namespace veltor::test
