#pragma once
// The maintenance script launch and the database file exchange, for unit tests: every call is
// recorded, and the exchange can be made to fail.

#include "ports/DatabaseFiles.h"
#include "ports/Errors.h"
#include "ports/ShellLauncher.h"

#include <optional>
#include <string>
#include <vector>

namespace veltor::test {

class RecordingShell : public IShellLauncher {
public:
    std::vector<std::string> launched; // "script|argument"
    bool found = true;
    // When set, the launch is refused for this reason.
    std::string refusal;
    ScriptLaunch LaunchScript(const std::string& script, const std::string& argument) override {
        if (!refusal.empty()) return {false, refusal};
        launched.push_back(script + "|" + argument);
        return {found, {}};
    }
};

class RecordingDatabaseFiles : public IDatabaseFiles {
public:
    std::vector<std::string> calls; // "access live|restored", "swap live|restored|kept"
    std::optional<OsError> swapFailure;
    void MatchAccess(const std::string& live, const std::string& restored) override {
        calls.push_back("access " + live + "|" + restored);
    }
    void SwapInRestored(const std::string& live, const std::string& restored, const std::string& kept) override {
        calls.push_back("swap " + live + "|" + restored + "|" + kept);
        if (swapFailure) throw *swapFailure;
    }
};

} // namespace veltor::test
