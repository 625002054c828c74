#include "maintenance/RunLock.h"

#include <exception>

namespace veltor {
namespace {

class HeldRunLock final : public IRunLock {
public:
    explicit HeldRunLock(std::unique_ptr<IFileLock> lock) : lock_(std::move(lock)) {}

private:
    std::unique_ptr<IFileLock> lock_; // none when the file could not be made
};

} // namespace

std::unique_ptr<IRunLock> LockRuns(IFileSystem& files, ActivityLog& log) {
    std::unique_ptr<IFileLock> lock;
    try {
        lock = files.TryLockFile(kRunLockFile);
    } catch (const std::exception& e) {
        log.WriteMemoLine(log.StampPrefix() + " No se pudo usar el archivo " + kRunLockFile + ": " + e.what() +
                          " (se sigue sin él)");
        return std::make_unique<HeldRunLock>(nullptr);
    }
    if (!lock) {
        log.WriteMemoLine(log.StampPrefix() +
                          " No se inicia el Backup: otro proceso de Veltor Backups está trabajando (" + kRunLockFile +
                          ")");
        return nullptr;
    }
    return std::make_unique<HeldRunLock>(std::move(lock));
}

} // namespace veltor
