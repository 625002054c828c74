#include "backup/ServiceOutput.h"

namespace veltor {

std::vector<std::string> ShowServiceOutput(const ServiceRun& run, const std::function<void()>& started,
                                           CompanyLines& lines) {
    std::vector<std::string> output;
    run({started, [&](const std::string& text) {
             output.push_back(text);
             lines.HandleEvents();
         }});
    std::vector<std::string> shown;
    shown.reserve(output.size());
    for (const std::string& text : output)
        shown.push_back("  " + text);
    lines.Memos(shown);
    lines.HandleEvents();
    return output;
}

std::vector<std::string> BackupToTheEnd(fb::IFirebirdService& service, const fb::BackupRequest& request,
                                        const std::string& backupFile, CompanyLines& lines) {
    return ShowServiceOutput([&](const fb::ServiceCallbacks& callbacks) { service.RunBackup(request, callbacks); },
                             [&] {
                                 const std::string fileLine = lines.Prefix() + " Archivo Backup: " + backupFile;
                                 lines.Log(fileLine);
                                 lines.Memo(fileLine);
                             },
                             lines);
}

std::vector<std::string> BackupToTheEnd(fb::IFirebirdService& service, const fb::BackupRequest& request,
                                        const std::string& backupFile, ActivityLog& log, IActivityView& view) {
    CompanyLines lines(log, view);
    return BackupToTheEnd(service, request, backupFile, lines);
}

void RestoreToTheEnd(fb::IFirebirdService& service, const fb::RestoreRequest& request, ActivityLog& log,
                     IActivityView& view) {
    CompanyLines lines(log, view);
    ShowServiceOutput([&](const fb::ServiceCallbacks& callbacks) { service.RunRestore(request, callbacks); },
                      [&] { log.WriteMemoLine(log.StampPrefix() + " Archivo Backup: " + request.backupFiles.at(0)); },
                      lines);
}

} // namespace veltor
