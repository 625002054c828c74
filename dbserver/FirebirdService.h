#pragma once
// The service manager of the Firebird server through the Services API: each run attaches a
// FirebirdServiceConnection, starts the action, reads its output to the end and detaches.

#include "dbserver/FbClientApi.h"
#include "dbserver/FirebirdServiceConnection.h"
#include "ports/FirebirdService.h"

#include <string>
#include <vector>

namespace veltor::fb {

class FirebirdService final : public IFirebirdService {
public:
    // `api` must outlive the service.
    explicit FirebirdService(const ClientApi& api) : connection_(api) {}

    void SetServerName(const std::string& serverName) override { connection_.SetServerName(serverName); }
    void SetProtocol(ServiceProtocol protocol) override { connection_.SetProtocol(protocol); }
    void SetParameters(const std::vector<std::string>& parameters) override { connection_.SetParameters(parameters); }
    const std::string& ServerName() const { return connection_.ServerName(); }
    ServiceProtocol Protocol() const { return connection_.Protocol(); }

    // A detach that fails after the output ended is raised; on a way out by an exception the
    // connection is detached and a failure to detach is swallowed, so the first failure counts.
    void RunBackup(const BackupRequest& request, const ServiceCallbacks& callbacks) override;
    void RunRestore(const RestoreRequest& request, const ServiceCallbacks& callbacks) override;

private:
    template <typename Start> void Run(Start start, const ServiceCallbacks& callbacks);

    FirebirdServiceConnection connection_;
};

} // namespace veltor::fb
