// TEMPORARY: the backup module until the scheduled backup and the backup-restore cycle are
// wired in. Its runs do nothing and write nothing. Delete this file (and its target in
// Window.cmake) when the real CreateBackupModule is linked.

#include "app/BackupModule.h"

namespace veltor {

namespace {

class BackupModuleUntilWired final : public IBackupModule {
public:
    void RunScheduledBackup() override {}
    void RunBackupRestore() override {}
};

} // namespace

std::unique_ptr<IBackupModule> CreateBackupModule(BackupModuleContext&) {
    return std::make_unique<BackupModuleUntilWired>();
}

} // namespace veltor
