// DatabaseIsOnline has a file of its own: the readers of a restored database use it without
// FirebirdDatabaseState, whose local-engine answer comes from the platform's client library.
#include "dbserver/DatabaseState.h"

#include "dbserver/Administrator.h"
#include "dbserver/FirebirdError.h"
#include "dbserver/SqlDatabase.h"

namespace veltor {

bool DatabaseIsOnline(const fb::ClientApi& api, const std::string& database) {
    sql::SqlDatabase attachment(api);
    attachment.SetDatabaseName(database);
    attachment.SetPassword(kAdministratorPassword);
    const sql::RowSet rows = attachment.Run("SELECT MON$SHUTDOWN_MODE FROM MON$DATABASE", true);
    attachment.Disconnect();
    if (rows.rows.size() != 1 || rows.rows[0].size() != 1)
        throw fb::FirebirdError("Respuesta inesperada sobre el estado de " + database);
    return rows.rows[0][0] == "0";
}

} // namespace veltor
