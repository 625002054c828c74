#include "dbserver/FirebirdService.h"

namespace veltor::fb {
namespace {

// Attaches for one run and detaches when the run leaves, whatever way it leaves.
class ServiceAttachment {
public:
    explicit ServiceAttachment(FirebirdServiceConnection& connection) : connection_(connection) {
        connection_.Attach();
    }
    ~ServiceAttachment() {
        try {
            connection_.Detach();
        } catch (...) {
            // Detached whatever the server said; the failure that ended the run is the one raised.
        }
    }
    ServiceAttachment(const ServiceAttachment&) = delete;
    ServiceAttachment& operator=(const ServiceAttachment&) = delete;

    // Detaches now, raising a failure.
    void Detach() { connection_.Detach(); }

private:
    FirebirdServiceConnection& connection_;
};

} // namespace

template <typename Start> void FirebirdService::Run(Start start, const ServiceCallbacks& callbacks) {
    ServiceAttachment attachment(connection_);
    start();
    if (callbacks.started) callbacks.started();
    while (!connection_.AtEnd()) {
        const std::string text = connection_.ReadNextLine();
        if (callbacks.line) callbacks.line(text);
    }
    attachment.Detach();
}

void FirebirdService::RunBackup(const BackupRequest& request, const ServiceCallbacks& callbacks) {
    Run([&] { connection_.StartBackup(request); }, callbacks);
}

void FirebirdService::RunRestore(const RestoreRequest& request, const ServiceCallbacks& callbacks) {
    Run([&] { connection_.StartRestore(request); }, callbacks);
}

} // namespace veltor::fb
