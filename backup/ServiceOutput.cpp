#include "backup/ServiceOutput.h"

namespace veltor {

std::string ServerTextOf(const TGlobal& global) {
    return global.ServerName.empty() ? std::string("localhost") : global.ServerName;
}

void ShowServiceOutput(fb::FirebirdServiceConnection& service, TActivityLog& log, IActivityView& view) {
    std::vector<std::string> lines;
    while (!service.AtEnd()) {
        lines.push_back("  " + service.ReadNextLine());
        view.ProcessPendingEvents();
    }
    log.WriteMemoLines(lines);
    view.ProcessPendingEvents();
}

void BackupToTheEnd(fb::FirebirdServiceConnection& service, const fb::BackupRequest& request, TActivityLog& log,
                    IActivityView& view) {
    try {
        service.Attach();
        service.StartBackup(request);
        const std::string fileLine = log.StampPrefix() + " Archivo Backup: " + request.backupFiles.front();
        log.WriteLogLine(fileLine);
        log.WriteMemoLine(fileLine);
        ShowServiceOutput(service, log, view);
    } catch (...) {
        service.Detach();
        throw;
    }
    service.Detach();
}

} // namespace veltor
