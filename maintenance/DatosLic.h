#pragma once
// The backup module: everything that touches the database server — the catalogue
// connection with its company list, the backup and restore service connections and the
// one month-log handle — and the two runs the activity window starts.

#include "app/BackupModule.h"
#include "app/Global.h"
#include "backup/ActivityLog.h"
#include "backup/ScheduledBackup.h"
#include "catalogue/Catalogue.h"
#include "dbserver/FirebirdServiceConnection.h"

namespace veltor {

class TDatosLic : public IBackupModule {
public:
    TDatosLic(BackupModuleContext& context, const fb::ClientApi& firebird);
    ~TDatosLic() override;
    TDatosLic(const TDatosLic&) = delete;
    TDatosLic& operator=(const TDatosLic&) = delete;

    void RunScheduledBackup() override;
    void RunBackupRestore() override;

    catalogue::TCatalogue Catalogue; // BDAdmin, QEmpresas, QConsultaEmpresas
    fb::FirebirdServiceConnection IBBackup;
    fb::FirebirdServiceConnection IBRestore;
    TActivityLog Log;

private:
    BackupModuleContext& context_;
};

} // namespace veltor
