#include "backup/ServiceOutput.h"

namespace veltor {

std::vector<std::string> ShowServiceOutput(fb::FirebirdServiceConnection& service, TActivityLog& log,
                                           IActivityView& view) {
    std::vector<std::string> lines;
    std::vector<std::string> output;
    while (!service.AtEnd()) {
        output.push_back(service.ReadNextLine());
        lines.push_back("  " + output.back());
        view.ProcessPendingEvents();
    }
    log.WriteMemoLines(lines);
    view.ProcessPendingEvents();
    return output;
}

std::vector<std::string> BackupToTheEnd(fb::FirebirdServiceConnection& service, const fb::BackupRequest& request,
                                        const std::string& backupFile, TActivityLog& log, IActivityView& view) {
    std::vector<std::string> output;
    try {
        service.Attach();
        service.StartBackup(request);
        const std::string fileLine = log.StampPrefix() + " Archivo Backup: " + backupFile;
        log.WriteLogLine(fileLine);
        log.WriteMemoLine(fileLine);
        output = ShowServiceOutput(service, log, view);
    } catch (...) {
        service.Detach();
        throw;
    }
    service.Detach();
    return output;
}

} // namespace veltor
