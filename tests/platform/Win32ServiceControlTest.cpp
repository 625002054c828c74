// The service control over the system's own service manager (Wine's here), on services of the
// test's own: veltor_test_service.exe registered under fresh names, one depending on the other.
#include "dbserver/ServiceControl.h"
#include "platform/win32/Win32Platform.h"
#include "tests/support/FakeServiceControlMemo.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace veltor {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;
using Clock = std::chrono::steady_clock;

// Wine's manager, seen as the program sees a Windows one. Wine lists no dependents (its
// EnumDependentServices reports none) and stops a service whose dependents run; here the
// dependents named by the test are listed as Windows lists them, in ENUM_SERVICE_STATUSA
// entries with the names behind the array, while they are active. Everything else is Wine's
// answer. The machine names and the services sent a stop are recorded.
class WineAsWindows final : public IServiceManager {
public:
    std::vector<std::string> dependents;
    std::vector<std::string> machines; // "(none)" for the local manager
    std::vector<std::string> stopped;

    ServiceHandle OpenManager(const char* machine, const char* database, std::uint32_t access) override {
        machines.push_back(machine ? machine : "(none)");
        return real_.OpenManager(machine, database, access);
    }
    ServiceHandle OpenServiceByName(ServiceHandle manager, const char* name, std::uint32_t access) override {
        const ServiceHandle service = real_.OpenServiceByName(manager, name, access);
        if (service != kNoServiceHandle) names_[service] = name;
        return service;
    }
    bool QueryStatus(ServiceHandle service, ServiceStatus& status) override {
        return real_.QueryStatus(service, status);
    }
    bool Start(ServiceHandle service) override { return real_.Start(service); }
    bool Control(ServiceHandle service, std::uint32_t code, ServiceStatus& status) override {
        if (code == service::kControlStop) stopped.push_back(names_[service]);
        return real_.Control(service, code, status);
    }
    bool EnumerateDependents(ServiceHandle, std::uint32_t, void* buffer, std::uint32_t size, std::uint32_t& needed,
                             std::uint32_t& returned) override {
        std::vector<std::string> active;
        for (const std::string& name : dependents) {
            SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
            SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_QUERY_STATUS);
            SERVICE_STATUS status{};
            if (service != nullptr && QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED)
                active.push_back(name);
            if (service != nullptr) CloseServiceHandle(service);
            CloseServiceHandle(manager);
        }
        needed = static_cast<std::uint32_t>(active.size() * sizeof(ENUM_SERVICE_STATUSA));
        for (const std::string& name : active)
            needed += static_cast<std::uint32_t>(name.size() + 1);
        returned = 0;
        if (buffer == nullptr || size < needed) {
            SetLastError(ERROR_MORE_DATA);
            return active.empty();
        }
        auto* entries = static_cast<ENUM_SERVICE_STATUSA*>(buffer);
        char* names = static_cast<char*>(buffer) + active.size() * sizeof(ENUM_SERVICE_STATUSA);
        for (const std::string& name : active) {
            std::memcpy(names, name.c_str(), name.size() + 1);
            entries[returned] = ENUM_SERVICE_STATUSA{names, names, SERVICE_STATUS{}};
            names += name.size() + 1;
            ++returned;
        }
        return true;
    }
    bool Close(ServiceHandle handle) override {
        names_.erase(handle);
        return real_.Close(handle);
    }
    std::uint32_t TickCount() override { return real_.TickCount(); }
    void Sleep(std::uint32_t milliseconds) override { real_.Sleep(milliseconds); }
    std::uint32_t LastError() override { return real_.LastError(); }

private:
    win32::Win32ServiceManager real_;
    std::map<ServiceHandle, std::string> names_;
};

struct Timing {
    std::uint32_t startDelay = 0;
    std::uint32_t stopDelay = 300;
    std::uint32_t waitHint = 100;
};

long long MillisecondsSince(Clock::time_point begun) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begun).count();
}

class Win32ServiceControl : public ::testing::Test {
protected:
    void SetUp() override {
        manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(manager_, nullptr) << GetLastError();
        const std::string suffix = std::to_string(std::random_device()() % 1000000);
        mainName = "VeltorTestMain" + suffix;
        dependentName = "VeltorTestDependent" + suffix;
    }
    void TearDown() override {
        for (auto name = created_.rbegin(); name != created_.rend(); ++name) {
            SC_HANDLE service = OpenServiceA(manager_, name->c_str(), SERVICE_ALL_ACCESS);
            if (service == nullptr) continue;
            SERVICE_STATUS status{};
            ControlService(service, SERVICE_CONTROL_STOP, &status);
            WaitFor(*name, SERVICE_STOPPED);
            DeleteService(service);
            CloseServiceHandle(service);
        }
        if (manager_ != nullptr) CloseServiceHandle(manager_);
    }

    void Create(const std::string& name, Timing timing, const std::string& dependsOn = {}) {
        const std::string command = "\"" + win32::ProgramFolder() + "\\veltor_test_service.exe\" " + name + " " +
                                    std::to_string(timing.startDelay) + " " + std::to_string(timing.stopDelay) + " " +
                                    std::to_string(timing.waitHint);
        // A list of names, each ended by a NUL, and a NUL after the last.
        const std::string dependencies = dependsOn.empty() ? std::string(2, '\0') : dependsOn + std::string(2, '\0');
        SC_HANDLE service = CreateServiceA(manager_, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                           SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                                           command.c_str(), nullptr, nullptr, dependencies.c_str(), nullptr, nullptr);
        ASSERT_NE(service, nullptr) << "CreateService " << name << ": " << GetLastError();
        created_.push_back(name);
        CloseServiceHandle(service);
    }

    DWORD State(const std::string& name) {
        SC_HANDLE service = OpenServiceA(manager_, name.c_str(), SERVICE_QUERY_STATUS);
        if (service == nullptr) return 0;
        SERVICE_STATUS status{};
        const DWORD state = QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
        CloseServiceHandle(service);
        return state;
    }

    // Polls for a state for at most ten seconds.
    bool WaitFor(const std::string& name, DWORD state) {
        const Clock::time_point begun = Clock::now();
        while (State(name) != state) {
            if (MillisecondsSince(begun) > 10000) return false;
            Sleep(20);
        }
        return true;
    }

    // Starts a service directly and waits until it runs.
    void StartRunning(const std::string& name) {
        SC_HANDLE service = OpenServiceA(manager_, name.c_str(), SERVICE_START);
        ASSERT_NE(service, nullptr) << GetLastError();
        const BOOL started = StartServiceA(service, 0, nullptr);
        const DWORD error = GetLastError();
        CloseServiceHandle(service);
        ASSERT_TRUE(started) << "StartService " << name << ": " << error;
        ASSERT_TRUE(WaitFor(name, SERVICE_RUNNING)) << name;
    }

    std::string mainName;
    std::string dependentName;
    WineAsWindows services;
    test::FakeServiceControlMemo memo;
    ServiceControl control{services, memo};

private:
    SC_HANDLE manager_ = nullptr;
    std::vector<std::string> created_;
};

TEST_F(Win32ServiceControl, StopTakesTheRunningDependentDownFirstAndWaitsForBoth) {
    Create(mainName, {0, 300, 100});
    Create(dependentName, {0, 400, 100}, mainName);
    services.dependents = {dependentName};
    StartRunning(mainName);
    StartRunning(dependentName);

    const Clock::time_point begun = Clock::now();
    EXPECT_EQ(control.StopWindowsService("localhost", mainName), service::kStopped);
    EXPECT_THAT(services.stopped, ElementsAre(dependentName, mainName));
    EXPECT_THAT(services.machines, ElementsAre("(none)"));
    // Each stop was waited for, one after the other.
    EXPECT_GE(MillisecondsSince(begun), 700);
    EXPECT_LT(MillisecondsSince(begun), 10000);
    EXPECT_EQ(State(dependentName), service::kStopped);
    EXPECT_EQ(State(mainName), service::kStopped);
    EXPECT_THAT(memo.lines, IsEmpty());
}

TEST_F(Win32ServiceControl, StartWaitsWhileTheServiceIsStartingAndGivesRunning) {
    Create(mainName, {500, 0, 100});
    const Clock::time_point begun = Clock::now();
    EXPECT_EQ(control.StartWindowsService("LocalHost", mainName), service::kRunning);
    EXPECT_GE(MillisecondsSince(begun), 500);
    EXPECT_LT(MillisecondsSince(begun), 10000);
    EXPECT_EQ(State(mainName), service::kRunning);
    EXPECT_THAT(memo.lines, IsEmpty());
}

TEST_F(Win32ServiceControl, SettledServicesAnswerAtOnce) {
    // A long hint: a wait that began would show.
    Create(mainName, {0, 0, 1500});
    StartRunning(mainName);
    Clock::time_point begun = Clock::now();
    EXPECT_EQ(control.StartWindowsService("LOCALHOST", mainName), service::kRunning);
    EXPECT_LT(MillisecondsSince(begun), 1000);

    ASSERT_EQ(control.StopWindowsService("LOCALHOST", mainName), service::kStopped);
    begun = Clock::now();
    EXPECT_EQ(control.StopWindowsService("LOCALHOST", mainName), service::kStopped);
    EXPECT_LT(MillisecondsSince(begun), 1000);
    EXPECT_EQ(ServiceStateName(control.StopWindowsService("localhost", mainName)), "SERVICE_STOPPED");
    EXPECT_THAT(memo.lines, IsEmpty());
}

TEST_F(Win32ServiceControl, UnknownServiceGivesZeroWithoutAMemoLine) {
    EXPECT_EQ(control.StartWindowsService("LocalHost", "VeltorNoSuchService"), 0u);
    EXPECT_EQ(control.StopWindowsService("localhost", "VeltorNoSuchService"), 0u);
    EXPECT_EQ(ServiceStateName(0), "Error de Apertura en SCM o Servicio");
    EXPECT_THAT(memo.lines, IsEmpty());
}

TEST_F(Win32ServiceControl, OnlyLocalhostInAnyCaseOpensTheLocalManagerByNoName) {
    Create(mainName, {0, 0, 100});
    StartRunning(mainName);
    EXPECT_EQ(control.StartWindowsService("LocalHost", mainName), service::kRunning);
    const std::uint32_t result = control.StartWindowsService("VELTOR-NO-SUCH-HOST", mainName);
    EXPECT_THAT(services.machines, ElementsAre("(none)", "VELTOR-NO-SUCH-HOST"));
    if (result == 0) {
        ASSERT_EQ(memo.lines.size(), 1u);
        EXPECT_THAT(memo.lines[0], StartsWith("07/12/2026 - 12:45:03Error"));
    } else {
        // Wine's manager answers for this machine whatever machine name it is given.
        EXPECT_EQ(result, service::kRunning);
        EXPECT_THAT(memo.lines, IsEmpty());
    }
}

} // namespace
} // namespace veltor
