#pragma once
// A scripted service control manager for tests: services answer their status queries from a
// script, the tick count moves only when the code sleeps (or by a set step per query), every
// call is recorded, and open handles are counted.

#include "ports/ServiceManager.h"

#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace veltor::test {

inline ServiceStatus MakeServiceStatus(std::uint32_t state, std::uint32_t checkPoint = 0, std::uint32_t waitHint = 0) {
    ServiceStatus status;
    status.dwServiceType = service::kOwnProcess;
    status.dwCurrentState = state;
    status.dwCheckPoint = checkPoint;
    status.dwWaitHint = waitHint;
    return status;
}

class FakeServiceManager : public IServiceManager {
public:
    struct Service {
        // Answers of the status queries in order; nullopt makes that query fail. The last
        // answer repeats.
        std::deque<std::optional<ServiceStatus>> queries;
        bool startAccepted = true;
        std::uint32_t startError = service::kErrorServiceAlreadyRunning;
        bool stopAccepted = true;
        std::uint32_t stopError = service::kErrorServiceNotActive;
        // What an accepted stop writes into the caller's record.
        ServiceStatus afterStop = MakeServiceStatus(service::kStopPending, 1, 0);
        // What a refused stop writes into the caller's record, if anything.
        std::optional<ServiceStatus> withRefusal;
        std::vector<std::string> dependents; // running dependents, in the order listed
        bool openFails = false;              // fails with kErrorAccessDenied (unknown names: 1060)
    };

    // --- script ---
    std::map<std::string, Service> services;
    std::uint32_t managerOpenError = 0; // not 0: opening the manager fails with this code
    bool listingFails = false;          // every dependents listing fails
    std::uint32_t tick = 0;
    std::uint32_t tickPerQuery = 0; // time a status query takes
    // Called first in every operation with the call's record (see calls); may throw.
    std::function<void(const std::string&)> beforeCall;
    std::uint32_t lastError = 0;

    // --- record ---
    struct ManagerOpening {
        std::optional<std::string> machine;
        std::optional<std::string> database;
        std::uint32_t access;
    };
    std::vector<ManagerOpening> managerOpenings;
    std::vector<std::string>
        calls; // "open NAME 0x2c", "query NAME", "stop NAME", "start NAME", "close NAME", "list NAME"
    std::vector<std::uint32_t> sleeps;
    int badCloses = 0;

    int OpenHandles() const { return static_cast<int>(handles_.size()); }
    int QueriesOf(const std::string& name) const {
        int n = 0;
        for (const auto& call : calls)
            n += call == "query " + name;
        return n;
    }

    ServiceHandle OpenManager(const char* machineName, const char* databaseName, std::uint32_t access) override {
        Record("open-manager");
        managerOpenings.push_back({machineName ? std::optional<std::string>(machineName) : std::nullopt,
                                   databaseName ? std::optional<std::string>(databaseName) : std::nullopt, access});
        if (managerOpenError != 0) return Fail<ServiceHandle>(managerOpenError, kNoServiceHandle);
        return NewHandle("SCM", true);
    }

    ServiceHandle OpenServiceByName(ServiceHandle manager, const char* serviceName, std::uint32_t access) override {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%x", access);
        Record("open " + std::string(serviceName) + " " + hex);
        const auto it = handles_.find(manager);
        if (it == handles_.end() || !it->second.isManager)
            return Fail<ServiceHandle>(service::kErrorInvalidHandle, kNoServiceHandle);
        const auto service = services.find(serviceName);
        if (service == services.end()) return Fail<ServiceHandle>(service::kErrorServiceDoesNotExist, kNoServiceHandle);
        if (service->second.openFails) return Fail<ServiceHandle>(service::kErrorAccessDenied, kNoServiceHandle);
        return NewHandle(serviceName, false);
    }

    bool QueryStatus(ServiceHandle handle, ServiceStatus& status) override {
        Service* service = ServiceOf(handle, "query");
        tick += tickPerQuery;
        if (!service) return false;
        auto& queries = service->queries;
        if (queries.empty()) return Fail(service::kErrorInvalidParameter, false);
        const std::optional<ServiceStatus> answer = queries.front();
        if (queries.size() > 1) queries.pop_front();
        if (!answer) return Fail(service::kErrorInvalidParameter, false);
        status = *answer;
        return true;
    }

    bool Start(ServiceHandle handle) override {
        Service* service = ServiceOf(handle, "start");
        if (!service) return false;
        return service->startAccepted ? true : Fail(service->startError, false);
    }

    bool Control(ServiceHandle handle, std::uint32_t control, ServiceStatus& status) override {
        Service* service = ServiceOf(handle, control == service::kControlStop ? "stop" : "control");
        if (!service) return false;
        if (service->stopAccepted) {
            status = service->afterStop;
            return true;
        }
        if (service->withRefusal) status = *service->withRefusal;
        return Fail(service->stopError, false);
    }

    bool EnumerateDependents(ServiceHandle handle, std::uint32_t serviceState, void* buffer, std::uint32_t bufferSize,
                             std::uint32_t& bytesNeeded, std::uint32_t& servicesReturned) override {
        Service* service = ServiceOf(handle, "list");
        if (!service) return false;
        if (serviceState != service::kStateActive) return Fail(service::kErrorInvalidParameter, false);
        const auto& names = service->dependents;
        std::size_t needed = names.size() * sizeof(EnumServiceStatusEntry);
        for (const auto& name : names)
            needed += name.size() + 1;
        bytesNeeded = static_cast<std::uint32_t>(needed);
        servicesReturned = 0;
        if (listingFails) return Fail(service::kErrorAccessDenied, false);
        if (bufferSize < needed || (needed > 0 && buffer == nullptr)) return Fail(service::kErrorMoreData, false);
        auto* entries = static_cast<EnumServiceStatusEntry*>(buffer);
        char* text = static_cast<char*>(buffer) + names.size() * sizeof(EnumServiceStatusEntry);
        for (std::size_t i = 0; i < names.size(); ++i) {
            std::memcpy(text, names[i].c_str(), names[i].size() + 1);
            entries[i].lpServiceName = text;
            entries[i].lpDisplayName = text;
            entries[i].ServiceStatus = MakeServiceStatus(service::kRunning);
            text += names[i].size() + 1;
        }
        servicesReturned = static_cast<std::uint32_t>(names.size());
        return true;
    }

    bool Close(ServiceHandle handle) override {
        const auto it = handles_.find(handle);
        Record("close " + (it == handles_.end() ? std::string("?") : it->second.name));
        if (it == handles_.end()) {
            ++badCloses;
            return Fail(service::kErrorInvalidHandle, false);
        }
        handles_.erase(it);
        return true;
    }

    std::uint32_t TickCount() override { return tick; }

    void Sleep(std::uint32_t milliseconds) override {
        Record("sleep");
        sleeps.push_back(milliseconds);
        tick += milliseconds;
    }

    std::uint32_t LastError() override { return lastError; }

private:
    struct Open {
        std::string name;
        bool isManager;
    };

    void Record(const std::string& call) {
        calls.push_back(call);
        if (beforeCall) beforeCall(call);
    }
    template <typename T> T Fail(std::uint32_t error, T result) {
        lastError = error;
        return result;
    }
    ServiceHandle NewHandle(const std::string& name, bool isManager) {
        const ServiceHandle handle = nextHandle_++;
        handles_[handle] = {name, isManager};
        return handle;
    }
    Service* ServiceOf(ServiceHandle handle, const std::string& verb) {
        const auto it = handles_.find(handle);
        Record(verb + " " + (it == handles_.end() ? std::string("?") : it->second.name));
        if (it == handles_.end() || it->second.isManager) return Fail<Service*>(service::kErrorInvalidHandle, nullptr);
        return &services.at(it->second.name);
    }

    std::map<ServiceHandle, Open> handles_;
    ServiceHandle nextHandle_ = 0x1000;
};

} // namespace veltor::test
