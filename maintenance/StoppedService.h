#pragma once
// The database server's service as a cycle may leave it. Before each stop the cycle notes the
// server it stops in a small file beside ADMINBD.inf, and removes the note once a start is
// confirmed, or once the stop answered that it could not have stopped anything. A process that ends in between (killed,
// crashed, the power gone) leaves the note behind, and the next run starts the service before it needs the catalogue;
// without that, every later run would fail to reach the catalogue and nothing would start the server again. A service
// that somebody else stopped carries no note and is left as it is.

#include "activity/ActivityLog.h"
#include "dbserver/ServiceControl.h"
#include "ports/FileSystem.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace veltor {

// The database server's service, as the service control manager knows it.
inline constexpr const char* kDatabaseServerService = "FirebirdGuardianDefaultInstance";

// The note's file, in the current folder (where ADMINBD.inf lies).
inline constexpr const char* kStoppedServiceNoteFile = "ServicioDetenido.inf";

class StoppedServiceNote {
public:
    explicit StoppedServiceNote(IFileSystem& files, std::string path = kStoppedServiceNoteFile)
        : files_(files), path_(std::move(path)) {}

    // Before a stop of the service on `serverText`. The note is a safety net: when it cannot be
    // written the cycle goes on as it would without it.
    void Stopping(const std::string& serverText) noexcept;
    // After a start that left the service running.
    void Started() noexcept;
    // The server whose service an earlier stop may have left stopped.
    std::optional<std::string> LeftStopped() const;

private:
    IFileSystem& files_;
    std::string path_;
};

// At the start of a run: when a note is left, starts the service it names and writes the
// outcome to the memo and to the month log in `backupFolder` (when that can be written). The
// note goes once the service runs; otherwise the next run tries again. A note whose service
// is found running goes without a line.
void StartServiceLeftStopped(StoppedServiceNote& note, ServiceControl& services, ActivityLog& log,
                             const std::string& backupFolder);

// The server's service around the work on one company's database (a cycle, a restore). The
// note says that the service may be stopped from before each stop until a start is confirmed,
// and goes after a stop that cannot have taken effect. When the work ends, by any path, after
// a stop that may have taken effect and with no start since, the service is started.
class ServiceOutage {
public:
    ServiceOutage(ServiceControl& services, StoppedServiceNote& note, const std::string& server)
        : services_(services), note_(note), server_(server) {}
    ServiceOutage(const ServiceOutage&) = delete;
    ServiceOutage& operator=(const ServiceOutage&) = delete;
    ~ServiceOutage() {
        if (mayBeStopped_) Start();
    }

    // The state the stop answered.
    std::uint32_t Stop();
    // The state the start answered; never raises.
    std::uint32_t Start() noexcept;

private:
    ServiceControl& services_;
    StoppedServiceNote& note_;
    const std::string& server_;
    bool mayBeStopped_ = false;
};

} // namespace veltor
