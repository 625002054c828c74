#pragma once
// The database server's service manager for unit tests: each run plays back the next script
// (its output lines and where it fails) and is recorded with the settings it was given. With
// `files` set, a backup writes its first backup file and a restore its first database, once
// the start is accepted, as the server would.

#include "dbserver/FirebirdError.h"
#include "ports/FileSystem.h"
#include "ports/FirebirdService.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace veltor::test {

class FakeFirebirdService : public fb::IFirebirdService {
public:
    struct Script {
        std::string refusal;            // raised before the start is accepted (attachment or start)
        std::vector<std::string> lines; // the output before its end
        std::string failure;            // raised after the lines, in place of the end
        std::function<void()> onStart;  // runs once the start is accepted, after the file is written
    };
    // One script a run, in order; past the end a run writes its file and gives two lines.
    std::deque<Script> scripts;

    struct Run {
        std::string action; // "backup" or "restore"
        std::string serverName;
        fb::ServiceProtocol protocol;
        std::vector<std::string> parameters;
        fb::BackupRequest backup;
        fb::RestoreRequest restore;
    };
    std::vector<Run> runs;

    IFileSystem* files = nullptr;
    std::string fileBytes = "backup or database bytes";

    void SetServerName(const std::string& serverName) override { serverName_ = serverName; }
    void SetProtocol(fb::ServiceProtocol protocol) override { protocol_ = protocol; }
    void SetParameters(const std::vector<std::string>& parameters) override { parameters_ = parameters; }

    void RunBackup(const fb::BackupRequest& request, const fb::ServiceCallbacks& callbacks) override {
        runs.push_back({"backup", serverName_, protocol_, parameters_, request, {}});
        Play(request.backupFiles.empty() ? std::string() : request.backupFiles.front(), callbacks);
    }
    void RunRestore(const fb::RestoreRequest& request, const fb::ServiceCallbacks& callbacks) override {
        runs.push_back({"restore", serverName_, protocol_, parameters_, {}, request});
        Play(request.databasePaths.empty() ? std::string() : request.databasePaths.front(), callbacks);
    }

private:
    void Play(const std::string& file, const fb::ServiceCallbacks& callbacks) {
        Script script{{}, {"gbak:line one", "gbak:line two"}, {}, {}};
        if (!scripts.empty()) {
            script = scripts.front();
            scripts.pop_front();
        }
        if (!script.refusal.empty()) throw fb::FirebirdError(script.refusal);
        if (files && !file.empty()) {
            files->RemoveFile(file);
            auto written = files->CreateNew(file);
            written->Write(fileBytes);
            written->Close();
        }
        if (script.onStart) script.onStart();
        if (callbacks.started) callbacks.started();
        for (const std::string& line : script.lines)
            if (callbacks.line) callbacks.line(line);
        if (!script.failure.empty()) throw fb::FirebirdError(script.failure);
        if (callbacks.line) callbacks.line("");
    }

    std::string serverName_;
    fb::ServiceProtocol protocol_ = fb::ServiceProtocol::Tcp;
    std::vector<std::string> parameters_;
};

} // namespace veltor::test
