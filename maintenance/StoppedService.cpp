#include "maintenance/StoppedService.h"

#include <exception>

namespace veltor {
namespace {

// Whether a stop that answered `state` may have stopped the service: not when the service
// manager or the service could not be opened (0) and not for the continue-pending answer (5).
bool StopMayHaveTakenEffect(std::uint32_t state) {
    return state != 0 && state != service::kContinuePending;
}

} // namespace

std::uint32_t ServiceOutage::Stop() {
    note_.Stopping(server_);
    const std::uint32_t state = services_.StopWindowsService(server_, kDatabaseServerService);
    mayBeStopped_ = StopMayHaveTakenEffect(state);
    if (!mayBeStopped_) note_.Started();
    return state;
}

std::uint32_t ServiceOutage::Start() noexcept {
    mayBeStopped_ = false;
    try {
        const std::uint32_t state = services_.StartWindowsService(server_, kDatabaseServerService);
        if (state == service::kRunning) note_.Started();
        return state;
    } catch (...) {
        // Only the memo line of a service manager that cannot be opened can raise here; the
        // note stays and the next run starts the service.
        return 0;
    }
}

void StoppedServiceNote::Stopping(const std::string& serverText) noexcept {
    try {
        files_.RemoveFile(path_);
        // A new file of our own: a link planted under the name makes this fail, not write elsewhere.
        const auto note = files_.CreateNew(path_);
        note->Write(serverText + "\r\n");
        note->Close();
    } catch (const std::exception&) {
        // Without the note a run cut short here leaves the service to its administrator, as
        // it always did.
    }
}

void StoppedServiceNote::Started() noexcept {
    try {
        files_.RemoveFile(path_);
    } catch (const std::exception&) {
        // A note left behind only costs the next run a start of a running service.
    }
}

std::optional<std::string> StoppedServiceNote::LeftStopped() const {
    if (!files_.FileExists(path_)) return std::nullopt;
    std::string text;
    try {
        const auto file = files_.OpenForReading(path_);
        char buffer[512];
        for (std::size_t n; text.size() < 4096 && (n = file->Read(buffer, sizeof buffer)) > 0;)
            text.append(buffer, n);
    } catch (const std::exception&) {
        // An unreadable note still says that the service was stopped: this machine's.
        text.clear();
    }
    text = text.substr(0, text.find_first_of("\r\n"));
    return text.empty() ? std::string("localhost") : text;
}

void StartServiceLeftStopped(StoppedServiceNote& note, ServiceControl& services, ActivityLog& log,
                             const std::string& backupFolder) {
    const std::optional<std::string> server = note.LeftStopped();
    if (!server) return;
    if (services.QueryWindowsService(*server, kDatabaseServerService) == service::kRunning) {
        note.Started();
        return;
    }
    const std::string state = ServiceStateName(services.StartWindowsService(*server, kDatabaseServerService));
    std::string line = log.StampPrefix();
    if (state == "SERVICE_RUNNING") {
        line += " Servicio Iniciado: un Backup-Restore que no terminó pudo dejarlo detenido ";
        note.Started();
    } else {
        line += " NO se pudo iniciar el Servicio que un Backup-Restore que no terminó dejó detenido: Mensaje: " + state;
    }
    log.WriteMemoLine(line);
    try {
        const bool opened = !log.isMonthLogOpen();
        if (opened) log.OpenMonthLog(backupFolder);
        log.WriteLogLine(line);
        if (opened) log.CloseMonthLog();
    } catch (const std::exception&) {
        // The memo has the line.
    }
}

} // namespace veltor
