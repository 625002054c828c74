#include "maintenance/BackupRestoreCycle.h"

#include "backup/BackupFiles.h"
#include "backup/RunSteps.h"
#include "backup/ServiceOutput.h"

#include <array>
#include <exception>
#include <stdexcept>
#include <vector>

namespace veltor {
namespace {

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The weekday conditions of the timer's selection, in the order they are written: the piece
// that follows the weekday name of the server.
constexpr std::array<std::string_view, 7> kWeekdayConditions = {
    "\"=\"LUNES\" AND COALESCE(RESTORELUNES,\"N\")=\"S\") OR ",
    "\"=\"MARTES\" AND COALESCE(RESTOREMARTES,\"N\")=\"S\") OR ",
    "\"=\"MIERCOLES\" AND COALESCE(RESTOREMIERCOLES,\"N\")=\"S\") OR ",
    "\"=\"JUEVES\" AND COALESCE(RESTOREJUEVES,\"N\")=\"S\") OR ",
    "\"=\"VIERNES\" AND COALESCE(RESTOREVIERNES,\"N\")=\"S\") OR ",
    "\"=\"SABADO\" AND COALESCE(RESTORESABADO,\"N\")=\"S\") OR ",
    "\"=\"DOMINGO\" AND COALESCE(RESTOREDOMINGO,\"N\")=\"S\")) AND ",
};
constexpr std::string_view kWeekdayOpening = "      (\"";

std::string SideFileName(const std::string& databasePath, char separator, const char* tag,
                         const std::string& fileStamp) {
    const std::size_t slash = databasePath.rfind(separator);
    const std::string folder = slash == std::string::npos ? std::string() : databasePath.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? databasePath : databasePath.substr(slash + 1);
    const std::size_t dot = base.rfind('.');
    if (dot != std::string::npos) base.erase(dot);
    for (char& c : base)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return folder + base + tag + fileStamp + ".GDB";
}

// The failure of a restore that ended without an error but left its database unusable; the
// company's code follows it in the line.
constexpr const char* kRestoreIncomplete = "El Restore no terminó: la base de datos restaurada quedó en mantenimiento ";
// The failure of a restore whose backup file changed after the backup wrote it; the file and
// the company's code follow it.
constexpr const char* kBackupChanged = "El archivo de Backup cambió después del Backup: ";

} // namespace

const std::string_view kServerClockStatement =
    " SELECT DECODE(EXTRACT(WEEKDAY FROM (SELECT CAST(\"Now\" AS Date) actual from "
    "RDB$DATABASE)),0,\"DOMINGO\",1,\"LUNES\",2,\"MARTES\",3,\"MIERCOLES\",4,\"JUEVES\",5,\"VIERNES\",6,\"SABADO\") "
    "DIA, cast((extract(hour from cast(\"Now\" as date))) as integer) ||\":\"|| cast(extract(minute from cast(\"Now\" "
    "as date)) as integer) HORA,  cast((extract(year from cast(\"Now\" as date))) as integer) ANNO  FROM RDB$DATABASE ";

std::string CycleSelectionStatement(const ServerClock& clock, bool restoreNow) {
    if (restoreNow)
        return std::string(
                   "SELECT EMPRESAID,CODIGO,NOMBRE,NIT,ANOFIS,ULTPERIODO,ARCHIVO,CONSOLIDA,RUTALOGO,HORARESTORE FROM "
                   "EMPRESAS WHERE COALESCE(REALIZARESTORE,\"N\")=\"S\" OR ANOFIS=") +
               clock.ANNO;
    std::string statement =
        "SELECT EMPRESAID,CODIGO,NOMBRE,NIT,ANOFIS,ULTPERIODO,ARCHIVO,CONSOLIDA,RUTALOGO,HORARESTORE FROM EMPRESAS "
        "WHERE COALESCE(REALIZARESTORE,\"N\")=\"S\" AND HORARESTORE IS NOT NULL AND       ((\"";
    for (std::size_t day = 0; day < kWeekdayConditions.size(); ++day) {
        if (day > 0) statement += kWeekdayOpening;
        statement += clock.DIA;
        statement += kWeekdayConditions[day];
    }
    statement += " (cast(\"01/01/1900 ";
    statement += clock.HORA;
    statement += "\" as timestamp)-0.020833)<=cast(\"01/01/1900 \"||HORARESTORE as timestamp)  AND ";
    statement += " (cast(\"01/01/1900 ";
    statement += clock.HORA;
    statement += "\" as timestamp))>=cast(\"01/01/1900 \"||HORARESTORE as timestamp) ";
    return statement;
}

ServerClock ReadServerClock(catalogue::TCatalogue& catalogue) {
    catalogue.OpenSelection(std::string(kServerClockStatement));
    auto& row = catalogue.QEmpresas;
    return {Trimmed(row.FieldText("DIA")), Trimmed(row.FieldText("HORA")), Trimmed(row.FieldText("ANNO"))};
}

void SelectCycleCompanies(catalogue::TCatalogue& catalogue, const ServerClock& clock, bool restoreNow) {
    catalogue.OpenSelection(CycleSelectionStatement(clock, restoreNow));
}

std::string FileStampOf(const LocalDateTime& moment) {
    return TGlobal::PadNumber(TGlobal::YearOfDate(moment), 4) + TGlobal::PadNumber(TGlobal::MonthOfDate(moment), 2) +
           TGlobal::PadNumber(TGlobal::DayOfDate(moment), 2) + "-" + HourMinuteText(moment);
}

FileFingerprint FingerprintOf(IFileSystem& files, const std::string& path) {
    const std::unique_ptr<IInputFile> file = files.OpenForReading(path);
    FileFingerprint print{0, 0xcbf29ce484222325ULL};
    std::vector<char> buffer(256 * 1024);
    for (std::size_t n; (n = file->Read(buffer.data(), buffer.size())) > 0;) {
        for (std::size_t i = 0; i < n; ++i) {
            print.hash ^= static_cast<unsigned char>(buffer[i]);
            print.hash *= 0x100000001b3ULL;
        }
        print.size += n;
    }
    return print;
}

std::string RestoredFileName(const std::string& databasePath, char separator, const std::string& fileStamp) {
    return SideFileName(databasePath, separator, "-Restore-", fileStamp);
}

std::string KeptCopyFileName(const std::string& databasePath, char separator, const std::string& fileStamp) {
    return SideFileName(databasePath, separator, "-Copia-", fileStamp);
}

void TBackupRestoreCycle::RunBackupRestore() {
    auto& log = p_.log;
    auto& catalogue = p_.catalogue;
    p_.global.ReadConfiguration();

    backupFolder_ = WorkingBackupFolder(p_.global.BackupFolder, p_.global.rules().pathSeparator);
    EnsureBackupFolder(backupFolder_, p_.global.rules(), p_.files, log);

    CloseLeftOverMonthLog(log);
    StartServiceLeftStopped(stopped_, p_.services, log, backupFolder_);
    ConnectCatalogueOrReport(catalogue, p_.global, log);

    auto& rows = catalogue.QEmpresas;
    try {
        const ServerClock clock = ReadServerClock(catalogue);
        SelectCycleCompanies(catalogue, clock, p_.restoreNow);
    } catch (const std::exception& e) {
        rows.Close();
        ReportCompanyListFailure(p_.global, log, e);
    }

    // A clock query or selection that failed left the list closed: its row count cannot be
    // read, and the run ends here with that error.
    if (!rows.Active()) throw std::runtime_error("La lista de empresas para Backup-Restore no está abierta");
    const int count = rows.RecordCount();
    if (count > 0 && !OpenMonthLogSection(log, backupFolder_, " Inicio BackupRestore: ===> ")) {
        cutShort_ = true;
        return;
    }

    backupOptions_ = 0;
    rows.First();
    while (!rows.Eof())
        if (!CycleCompany()) ++failedCompanies_;

    try {
        if (count > 0) {
            log.WriteLogLine(P() + " <=== Fin Backup ");
            log.CloseMonthLog();
        }
    } catch (const std::exception&) {
        // The end of the section is best effort; the companies are done.
    }
}

std::string TBackupRestoreCycle::Company() const {
    const auto& row = p_.catalogue.QEmpresas;
    return row.FieldText("CODIGO") + " - " + row.FieldText("NOMBRE");
}

bool TBackupRestoreCycle::CycleCompany() {
    auto& log = p_.log;
    auto& row = p_.catalogue.QEmpresas;
    auto& service = p_.IBBackup;

    const std::string companyId = row.FieldText("EMPRESAID");
    const std::string serverText = ServerTextOf(p_.global);
    bool cycleFailed = false;
    bool done = false;
    log.WriteLogLine(P() + " Inicio BackupRestore: " + Company());
    log.WriteMemoLine(P() + " Inicio Backup-Restore: " + Company());

    if (GiveUpWithoutLocalRestore()) return false;

    stopped_.Stopping(serverText);
    std::string state = ServiceStateName(p_.services.StopWindowsService(serverText, kDatabaseServerService));
    if (state != "SERVICE_STOPPED") {
        log.WriteMemoLine(P() + " NO se pudo hacer Stop al Servicio: " + Company() + "Mensaje: " + state);
        row.Next();
        return false;
    }
    log.WriteMemoLine(P() + " Stop al Servicio: " + Company());

    const std::string databasePath = row.FieldText("ARCHIVO");
    const std::string fileStamp = FileStampOf(p_.clock.Now());

    state = ServiceStateName(p_.services.StartWindowsService(serverText, kDatabaseServerService));
    if (state == "SERVICE_RUNNING") {
        stopped_.Started();
        // Where the live database stands before anyone but the cycle could reach it again.
        const TransactionMark before = ReadTransactions(serverText + ":" + databasePath);

        std::string backupFile;
        std::string stampTime;
        try {
            log.WriteMemoLine(P() + " Servicio Iniciado: " + Company());
            const LocalDateTime begun = p_.clock.Now();
            stampTime = HourMinuteText(begun);
            backupFile = BackupFileName(backupFolder_, databasePath, p_.global.rules().pathSeparator, begun, stampTime);

            fb::BackupRequest request;
            request.backupFiles = {backupFile};
            request.databasePath = databasePath;
            request.options = backupOptions_;
            service.SetParameters(AdministratorParameters());
            service.SetServerName(serverText);
            service.SetProtocol(fb::ServiceProtocol::Tcp);
            log.WriteMemoLine(P() + " Inicia Backup: " + Company());

            request.verbose = true;
            BackupToTheEnd(service, request, log, p_.view);
            // What the restore must find in the file; a backup that cannot be read back fails here.
            backupWritten_ = FingerprintOf(p_.files, backupFile);
        } catch (const std::exception& e) {
            log.WriteLogLine(P() + " Advertencia en Backup: " + e.what());
            log.WriteMemoLine(P() + " Advertencia en Backup: " + e.what() + Company());
            try {
                service.Detach();
            } catch (const std::exception&) {
                // The connection counts as detached whatever the server said.
            }
            cycleFailed = true;
        }

        bool swapped = false;
        if (!cycleFailed) {
            log.WriteMemoLine(P() + " Ruta del Backup Realizado: " + backupFile);
            log.WriteMemoLine("  ");
            swapped = RestoreAndSwap(serverText, databasePath, backupFile, fileStamp, before);
        }
        backupWritten_.reset();

        p_.catalogue.BDAdmin.Disconnect();
        p_.catalogue.BDAdmin.Connect();

        if (cycleFailed) log.WriteLogLine(P() + " No terminado BackupRestoer ");

        if (!cycleFailed) {
            try {
                p_.catalogue.ExecuteCommand(catalogue::StampStatement(
                    "FECHAULTRESTORE", "HORAULTRESTORE", TGlobal::SqlDateText(p_.clock.Now()), stampTime, companyId));
                log.WriteLogLine(P() + " Finaliza BackupRestore ");
                log.WriteLogLine(" ");
                done = swapped;
            } catch (const std::exception&) {
                // The company stays unstamped; nothing is written about it.
            }
        }
    }

    row.Next();
    log.WriteLogLine(" ");
    return done;
}

bool TBackupRestoreCycle::GiveUpWithoutLocalRestore() {
    const std::string why = p_.databases.WhyNoLocalRestore();
    if (why.empty()) return false;
    // Without the restore there is no cycle: the server's service is not stopped for nothing.
    const std::string line = P() + " No se hace Backup-Restore: " + Company() + ": " + why;
    p_.log.WriteLogLine(line);
    p_.log.WriteMemoLine(line);
    p_.catalogue.QEmpresas.Next();
    p_.log.WriteLogLine(" ");
    return true;
}

TBackupRestoreCycle::TransactionMark TBackupRestoreCycle::ReadTransactions(const std::string& database) {
    TransactionMark mark;
    try {
        mark.next = p_.databases.NextTransaction(database);
    } catch (const std::exception& e) {
        mark.failure = e.what();
    }
    return mark;
}

bool TBackupRestoreCycle::RestoreDatabase(const std::string& backupFile, const std::string& databaseFile) {
    auto& log = p_.log;
    auto& service = p_.IBRestore;
    bool failed = false;
    try {
        fb::RestoreRequest request;
        request.backupFiles = {backupFile};
        request.databasePaths = {databaseFile};
        service.SetParameters(AdministratorParameters());
        service.SetServerName(ServerTextOf(p_.global));
        request.pageSize = 8192;
        request.options = fb::RestoreRequest::kReplace | fb::RestoreRequest::kCreate;
        request.verbose = true;
        try {
            service.Attach();
            service.StartRestore(request);
            log.WriteMemoLine(P() + " Archivo Backup: " + backupFile);
            ShowServiceOutput(service, log, p_.view);
        } catch (...) {
            service.Detach();
            throw;
        }
        service.Detach();
        // A restore that stopped half way (a backup file cut short, for one) can end its output
        // without any error and leave the new database shut down, part of its data missing.
        if (!p_.databases.IsOnline(databaseFile)) throw fb::FirebirdError(kRestoreIncomplete);
        // Read after the restore, so a change while it ran counts too.
        if (backupWritten_ && FingerprintOf(p_.files, backupFile) != *backupWritten_)
            throw fb::FirebirdError(kBackupChanged + backupFile + " ");
    } catch (const std::exception& e) {
        log.WriteLogLine(P() + " Error n Restore: " + e.what() + Company());
        log.WriteMemoLine(P() + " Error en Restore: " + e.what() + Company());
        try {
            service.Detach();
        } catch (const std::exception&) {
            // The connection counts as detached whatever the server said.
        }
        failed = true;
    }
    return failed;
}

bool TBackupRestoreCycle::NobodyElseWorked(const std::string& databasePath, const TransactionMark& before) {
    auto& log = p_.log;
    // The server is stopped: this process's own engine opens the file.
    const TransactionMark now = ReadTransactions(databasePath);
    std::string why;
    if (!before.next) {
        why = " No se reemplaza la base de datos: no se pudo leer sus transacciones antes del Backup: " + Company() +
              " Mensaje: " + before.failure;
    } else if (!now.next) {
        why = " No se reemplaza la base de datos: no se pudo leer sus transacciones después del Restore: " + Company() +
              " Mensaje: " + now.failure;
    } else if (*now.next - *before.next > kOwnBackupTransactions) {
        why = " No se reemplaza la base de datos: hubo transacciones durante el Backup-Restore: " + Company();
    } else {
        return true;
    }
    log.WriteLogLine(P() + why);
    log.WriteMemoLine(P() + why);
    return false;
}

bool TBackupRestoreCycle::RestoreAndSwap(const std::string& serverText, const std::string& databasePath,
                                         const std::string& backupFile, const std::string& fileStamp,
                                         const TransactionMark& before) {
    auto& log = p_.log;
    const char separator = p_.global.rules().pathSeparator;
    const std::string restoredFile = RestoredFileName(databasePath, separator, fileStamp);
    const std::string keptCopyFile = KeptCopyFileName(databasePath, separator, fileStamp);

    log.WriteMemoLine(P() + " Inicia Restore: " + Company());
    if (RestoreDatabase(backupFile, restoredFile)) return false;
    log.WriteMemoLine(P() + " Restore Finalizado: " + Company());
    log.WriteMemoLine(P() + " Ruta del Restore Realizado: " + restoredFile);
    log.WriteMemoLine("  ");

    p_.shell.LaunchScript(kMaintenanceScript, restoredFile);
    p_.clock.Sleep(kMaintenanceScriptPause);
    p_.view.ProcessPendingEvents();

    log.WriteMemoLine(P() + " Renombra Archivo Restaurado: " + Company());
    stopped_.Stopping(serverText);
    std::string state = ServiceStateName(p_.services.StopWindowsService(serverText, kDatabaseServerService));
    if (state != "SERVICE_STOPPED") {
        // The restored file stays beside the live one; the log says why.
        const std::string why = " NO se pudo hacer Stop al Servicio: " + Company() + "Mensaje: " + state;
        log.WriteLogLine(P() + why);
        log.WriteMemoLine(P() + why);
        return false;
    }

    bool swapped = false;
    if (NobodyElseWorked(databasePath, before)) {
        log.WriteMemoLine(P() + " Renombra el Archivo Original: " + databasePath + "\r\n por: " + keptCopyFile);
        log.WriteMemoLine(P() + " Renombra el Archivo Restaurado: " + restoredFile + "\r\n por: " + databasePath);
        try {
            p_.databaseFiles.MatchAccess(databasePath, restoredFile);
            p_.databaseFiles.SwapInRestored(databasePath, restoredFile, keptCopyFile);
            swapped = true;
        } catch (const std::exception& e) {
            const std::string why = " No se pudo reemplazar la base de datos: " + Company() + " Mensaje: " + e.what();
            log.WriteLogLine(P() + why);
            log.WriteMemoLine(P() + why);
        }
    }

    state = ServiceStateName(p_.services.StartWindowsService(serverText, kDatabaseServerService));
    if (state == "SERVICE_RUNNING") {
        stopped_.Started();
        return swapped;
    }
    log.WriteMemoLine(state);
    log.WriteLogLine(P() + " No se pudo iniciar el Servicio: " + Company() + "Mensaje: " + state);
    return false;
}

} // namespace veltor
