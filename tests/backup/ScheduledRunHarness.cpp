#include "tests/backup/ScheduledRunHarness.h"

#include <algorithm>
#include <filesystem>

namespace veltor::test {
namespace {

ConfigurationRules ScratchRules(const CatalogueFixture& catalogue) {
    ConfigurationRules rules = posix::LinuxConfigurationRules();
    rules.defaultBackupParent = catalogue.folder / "Datos Veltor/";
    rules.defaultBackupFolder = catalogue.folder / "Datos Veltor/Backups/";
    return rules;
}

} // namespace

ScheduledRunHarness::ScheduledRunHarness()
    : rules(ScratchRules(catalogueFiles)), global(files, messages, rules), api(*fb::LoadClientApi(nullptr)),
      catalogue(api), backup(api), log(files, clock, regional, view) {}

void ScheduledRunHarness::Run() {
    CurrentDirectory inCatalogueFolder(catalogueFiles.folder.path());
    ScheduledBackup run({global, catalogue, backup, log, files, clock, view, periodHours, periodMinutes});
    run.RunScheduledBackup();
}

std::string ScheduledRunHarness::MonthLogPath() const {
    return ActivityLog::MonthLogPath(catalogueFiles.backupFolder, clock.Now());
}

std::vector<std::string> ScheduledRunHarness::BackupFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(catalogueFiles.backupFolder))
        if (entry.path().extension() == ".GBK") names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool ScheduledRunHarness::MemoHasLineEndingWith(const std::string& suffix) const {
    return std::any_of(view.memo.begin(), view.memo.end(), [&](const std::string& line) {
        return line.size() >= suffix.size() && line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0;
    });
}

} // namespace veltor::test
