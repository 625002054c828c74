#include "backup/ServiceOutput.h"

namespace veltor {

std::string ServerTextOf(const TGlobal& global) {
    return global.ServerName.empty() ? std::string("localhost") : global.ServerName;
}

std::vector<std::string> AdministratorParameters() {
    return {"user_name=SYSDBA", std::string("password=") + kAdministratorPassword};
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

} // namespace veltor
