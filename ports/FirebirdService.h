#pragma once
// The database server's service manager, one whole backup or restore at a time:
//
//   service.SetServerName("localhost");
//   service.SetParameters({"user_name=SYSDBA", "password=..."});
//   service.RunBackup(request, {.started = [&] { ... }, .line = [&](const std::string& text) { ... }});
//
// A run attaches, starts the action, reads its output to the end and detaches, on every path.
// Every failure is raised as fb::FirebirdError (dbserver/FirebirdError.h): a refused attachment
// or start before `started`, a failed action while its output is read. A callback's own failure
// ends the run too and reaches the caller as it was raised.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace veltor::fb {

enum class ServiceProtocol {
    Tcp,   // "<server name>:service_mgr"
    Local, // "service_mgr", whatever the server name
};

struct BackupRequest {
    // Option flags (isc_spb_bkp_*), sent as their OR; the ones the program and its tests use.
    static constexpr std::uint32_t kIgnoreLimbo = 0x02;
    static constexpr std::uint32_t kNoGarbageCollection = 0x08;
    static constexpr std::uint32_t kConvertExternalTables = 0x40;

    std::string databasePath;             // on the server machine; required
    std::vector<std::string> backupFiles; // on the server machine; empty entries are left out
    std::uint32_t options = 0;
    bool verbose = false;
    std::int32_t blockingFactor = 0; // sent only when above 0
};

struct RestoreRequest {
    // Option flags (isc_spb_res_*), sent as their OR; the ones the program uses.
    static constexpr std::uint32_t kReplace = 0x1000;
    static constexpr std::uint32_t kCreate = 0x2000;

    std::vector<std::string> backupFiles;   // empty entries are left out
    std::vector<std::string> databasePaths; // empty entries are left out
    std::uint32_t options = 0;
    bool verbose = false;
    std::int32_t pageSize = 0;    // sent only when above 0
    std::int32_t pageBuffers = 0; // sent only when above 0
};

// What a run hands back while it goes. Either may be left empty.
struct ServiceCallbacks {
    // Once the server has accepted the start, before the first output line is read.
    std::function<void()> started;
    // Each output line as it is read, without line end; the last call, once the action has
    // ended, has an empty text.
    std::function<void(const std::string&)> line;
};

class IFirebirdService {
public:
    virtual ~IFirebirdService() = default;

    // The settings of the next runs.
    virtual void SetServerName(const std::string& serverName) = 0;
    virtual void SetProtocol(ServiceProtocol protocol) = 0;
    // "name=value" lines: user_name and password.
    virtual void SetParameters(const std::vector<std::string>& parameters) = 0;

    // One backup to its end. An empty database path is refused before anything is sent.
    virtual void RunBackup(const BackupRequest& request, const ServiceCallbacks& callbacks) = 0;
    // One restore to its end. Through the Local protocol it runs in this process's own engine.
    virtual void RunRestore(const RestoreRequest& request, const ServiceCallbacks& callbacks) = 0;
};

} // namespace veltor::fb
