#pragma once
// The maintenance script launch and the files beside a company database, for unit tests:
// every call is recorded, and any operation can be made to fail.

#include "ports/DatabaseFiles.h"
#include "ports/Errors.h"
#include "ports/ShellLauncher.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
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

// Touches no file. Sizes, rooms, folder listings, second names and what names hold are what the
// test sets; a file without a size set is 1 MiB, a folder without a room set has a terabyte on
// volume 1, a name without a kind set holds nothing.
class RecordingDatabaseFiles : public IDatabaseFiles {
public:
    // "access live|restored", "link existing|link", "rename from|to", "remove path"
    std::vector<std::string> calls;
    // By operation: "access", "link", "rename", "remove", "size", "room", "list".
    std::map<std::string, OsError> failures;
    // Runs after each recorded call (to stop a process between two steps, for one).
    std::function<void(const std::string&)> afterCall;
    std::map<std::string, std::uint64_t> sizes;
    std::map<std::string, VolumeRoom> rooms;
    std::map<std::string, std::vector<std::string>> folders;
    std::set<std::pair<std::string, std::string>> sameFiles;
    std::map<std::string, NameHolds> kinds;
    std::map<std::string, LocalDateTime> written;

    void MatchAccess(const std::string& live, const std::string& restored) override {
        Call("access", live + "|" + restored);
    }
    void LinkFile(const std::string& existing, const std::string& link) override {
        Call("link", existing + "|" + link);
    }
    void RenameOver(const std::string& from, const std::string& to) override { Call("rename", from + "|" + to); }
    bool RemoveFile(const std::string& path) override {
        Call("remove", path);
        return true;
    }
    NameHolds WhatIsAt(const std::string& path) override {
        const auto it = kinds.find(path);
        return it == kinds.end() ? NameHolds::Nothing : it->second;
    }
    bool SameFile(const std::string& a, const std::string& b) override {
        return sameFiles.count({a, b}) > 0 || sameFiles.count({b, a}) > 0;
    }
    std::uint64_t FileSize(const std::string& path) override {
        Fail("size");
        const auto it = sizes.find(path);
        return it == sizes.end() ? 1024 * 1024 : it->second;
    }
    LocalDateTime LastWritten(const std::string& path) override {
        const auto it = written.find(path);
        return it == written.end() ? LocalDateTime{2026, 12, 1, 9, 30, 0, 2} : it->second;
    }
    VolumeRoom RoomIn(const std::string& folder) override {
        Fail("room");
        const auto it = rooms.find(folder);
        return it == rooms.end() ? VolumeRoom{1ULL << 40, 1} : it->second;
    }
    std::vector<std::string> FileNamesIn(const std::string& folder) override {
        Fail("list");
        const auto it = folders.find(folder);
        return it == folders.end() ? std::vector<std::string>{} : it->second;
    }

    // The calls of one operation ("link", ...), without the operation's name.
    std::vector<std::string> CallsOf(const std::string& operation) const {
        std::vector<std::string> found;
        for (const std::string& call : calls)
            if (call.compare(0, operation.size() + 1, operation + " ") == 0)
                found.push_back(call.substr(operation.size() + 1));
        return found;
    }

private:
    void Fail(const std::string& operation) {
        const auto it = failures.find(operation);
        if (it != failures.end()) throw it->second;
    }
    void Call(const std::string& operation, const std::string& arguments) {
        calls.push_back(operation + " " + arguments);
        Fail(operation);
        if (afterCall) afterCall(operation);
    }
};

} // namespace veltor::test
