#pragma once
// The database server as the cycle and the restore see it in unit tests: its service's stops
// and starts confirmed or not as a script says, and its databases' transaction counters,
// states and page sizes answered as told.

#include "dbserver/DatabaseState.h"
#include "dbserver/FirebirdError.h"
#include "dbserver/ServiceControl.h"
#include "tests/support/FakeServiceManager.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace veltor::test {

inline constexpr const char* kService = "FirebirdGuardianDefaultInstance";

// Each stop and start of the server's service is confirmed or not, in the order the script
// gives; past its end every operation is confirmed.
class ScriptedServer {
public:
    explicit ScriptedServer(FakeServiceManager& manager) : manager_(manager) {
        manager_.services[kService] = {};
        manager_.beforeCall = [this](const std::string& call) {
            const bool stop = call == std::string("open ") + kService + " 0x2c";
            const bool start = call == std::string("open ") + kService + " 0x14";
            if (call == std::string("open ") + kService + " 0x4") {
                operations.push_back("query");
                const bool running = !runningAnswers.empty() && runningAnswers.front();
                if (!runningAnswers.empty()) runningAnswers.pop_front();
                auto& service = manager_.services[kService];
                service.openFails = false;
                service.queries = {MakeServiceStatus(running ? service::kRunning : service::kStopped)};
                return;
            }
            if (!stop && !start) return;
            operations.push_back(stop ? "stop" : "start");
            const bool confirmed = outcomes.empty() || outcomes.front();
            if (!outcomes.empty()) outcomes.pop_front();
            auto& service = manager_.services[kService];
            service.openFails = !confirmed;
            service.queries = stop ? std::deque<std::optional<ServiceStatus>>{MakeServiceStatus(service::kRunning),
                                                                              MakeServiceStatus(service::kStopped)}
                                   : std::deque<std::optional<ServiceStatus>>{MakeServiceStatus(service::kStopped),
                                                                              MakeServiceStatus(service::kRunning)};
        };
    }
    std::deque<bool> outcomes;
    // What the queries of the service's state find, in order: running or not (not past the end).
    std::deque<bool> runningAnswers;
    std::vector<std::string> operations; // "stop", "start", "query" in order

private:
    FakeServiceManager& manager_;
};

// Answers the transaction readings in order (nullopt raises; 7 past the end), the marks with
// `pageSize`, and whether a database is online or read-only as told. Records the databases
// asked; the collection of the system tables' old versions runs `onCollect` and raises when
// `collectFails`.
class ScriptedDatabases : public IDatabaseState {
public:
    std::deque<std::optional<std::int64_t>> answers;
    std::vector<std::string> asked;
    std::vector<std::string> collected;
    bool collectFails = false;
    std::function<void()> onCollect;
    void CollectSystemGarbage(const std::string& database) override {
        collected.push_back(database);
        if (onCollect) onCollect();
        if (collectFails) throw fb::FirebirdError("lock time-out on wait transaction");
    }
    std::vector<std::string> askedOnline;
    std::vector<std::string> askedReadOnly;
    bool online = true;
    bool readOnly = false;
    bool readOnlyFails = false;
    std::string noLocalRestore;
    std::uint32_t pageSize = 8192;
    std::string WhyNoLocalRestore() const override { return noLocalRestore; }
    bool IsOnline(const std::string& database) override {
        askedOnline.push_back(database);
        return online;
    }
    bool IsReadOnly(const std::string& database) override {
        askedReadOnly.push_back(database);
        if (readOnlyFails) throw fb::FirebirdError("Unable to complete network request to host \"localhost\".");
        return readOnly;
    }
    std::int64_t NextTransaction(const std::string& database) override {
        asked.push_back(database);
        std::optional<std::int64_t> answer = answers.empty() ? std::optional<std::int64_t>(7) : answers.front();
        if (!answers.empty()) answers.pop_front();
        if (!answer) throw fb::FirebirdError("I/O error during \"open\" operation for file \"" + database + "\"");
        return *answer;
    }
    DatabaseMark Mark(const std::string& database) override { return {NextTransaction(database), pageSize}; }
};

} // namespace veltor::test
