#include "backup/ServiceOutput.h"

namespace veltor {

std::vector<std::string> ShowServiceOutput(const ServiceRun& run, const std::function<void()>& started,
                                           ActivityLog& log, IActivityView& view) {
    std::vector<std::string> output;
    run({started, [&](const std::string& text) {
             output.push_back(text);
             view.ProcessPendingEvents();
         }});
    std::vector<std::string> lines;
    lines.reserve(output.size());
    for (const std::string& text : output)
        lines.push_back("  " + text);
    log.WriteMemoLines(lines);
    view.ProcessPendingEvents();
    return output;
}

std::vector<std::string> BackupToTheEnd(fb::IFirebirdService& service, const fb::BackupRequest& request,
                                        const std::string& backupFile, ActivityLog& log, IActivityView& view) {
    return ShowServiceOutput([&](const fb::ServiceCallbacks& callbacks) { service.RunBackup(request, callbacks); },
                             [&] {
                                 const std::string fileLine = log.StampPrefix() + " Archivo Backup: " + backupFile;
                                 log.WriteLogLine(fileLine);
                                 log.WriteMemoLine(fileLine);
                             },
                             log, view);
}

void RestoreToTheEnd(fb::IFirebirdService& service, const fb::RestoreRequest& request, ActivityLog& log,
                     IActivityView& view) {
    ShowServiceOutput([&](const fb::ServiceCallbacks& callbacks) { service.RunRestore(request, callbacks); },
                      [&] { log.WriteMemoLine(log.StampPrefix() + " Archivo Backup: " + request.backupFiles.at(0)); },
                      log, view);
}

} // namespace veltor
