#include "backup/RunSteps.h"

#include "backup/ServiceOutput.h"

namespace veltor {
namespace {

void ReportCatalogueFailure(const TGlobal& global, ActivityLog& log, const std::string& headline,
                            const std::exception& error) {
    log.WriteMemoLine(" ");
    log.WriteMemoLine(log.StampPrefix() + headline);
    log.WriteMemoLine(log.StampPrefix() + " Conexión: " + global.AdminConnection +
                      "  Clave: " + kAdministratorPassword);
    log.WriteMemoLine(log.StampPrefix() + " Advertencia en Backup: " + error.what());
}

} // namespace

void CloseLeftOverMonthLog(ActivityLog& log) {
    try {
        log.CloseMonthLog();
    } catch (const std::exception&) {
        // Nothing was open, or what a run that ended early left open could not be written out.
    }
}

void ConnectCatalogueOrReport(catalogue::ICompanyCatalogue& catalogue, const TGlobal& global, ActivityLog& log) {
    try {
        catalogue.ConnectCatalogue(global.AdminConnection, kAdministratorPassword);
    } catch (const std::exception& e) {
        ReportCatalogueFailure(global, log, " No se pudo conectar a lista Empresas ... ", e);
    }
}

void ReportCompanyListFailure(const TGlobal& global, ActivityLog& log, const std::exception& error) {
    ReportCatalogueFailure(global, log, " No se pudo consultar lista Empresas para Backup ... ", error);
}

bool OpenMonthLogSection(ActivityLog& log, const std::string& folder, const std::string& opening) {
    try {
        log.OpenMonthLog(folder);
        log.WriteLogLine(" ");
        log.WriteLogLine(log.StampPrefix() + opening);
        log.WriteLogLine(" ");
        return true;
    } catch (const std::exception&) {
        log.WriteMemoLine(log.StampPrefix() + " No se puede Crear el Archivo " + log.lastMonthLogPath());
        log.WriteMemoLine(log.StampPrefix() + " Verifique que no se esté realizando otro proceso");
        return false;
    }
}

} // namespace veltor
