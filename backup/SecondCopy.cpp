#include "backup/SecondCopy.h"

#include "config/PathParts.h"
#include "status/Moments.h"

#include <algorithm>
#include <exception>
#include <set>

namespace veltor {
namespace {

std::optional<std::string> Given(const std::optional<std::string>& value) {
    if (!value) return std::nullopt;
    const std::size_t first = value->find_first_not_of(' ');
    if (first == std::string::npos) return std::nullopt;
    return value->substr(first, value->find_last_not_of(' ') - first + 1);
}

} // namespace

std::uint32_t CopyLimitSeconds(std::uint64_t bytes) {
    const std::uint64_t seconds = kCopyFixedSeconds + bytes / kCopySlowestBytesPerSecond;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(seconds, UINT32_MAX));
}

void SecondCopy::RunStarted(const TGlobal& global, const std::string& backupFolder,
                            const NotUnderstood& notUnderstood) {
    separator_ = global.rules().pathSeparator;
    ignoreCase_ = global.rules().upperCaseValues;
    folder_.clear();
    if (const std::optional<std::string> folder = Given(global.ExternalFolder)) {
        folder_ = WorkingBackupFolder(*folder, separator_);
        if (SameName(folder_, backupFolder, true)) {
            notUnderstood(" COPIAEXTERNA=" + *global.ExternalFolder +
                              " es la carpeta de los Backups: no se hace la copia externa",
                          global.ExternalFolder, saidFolder_);
            folder_.clear();
        }
    }
    keep_ = ReadRetentionSetting(global.KeepExternal);
    if (keep_.unusable)
        notUnderstood(" CONSERVAREXTERNAS=" + *global.KeepExternal +
                          " no es un número de archivos a conservar: no se elimina ninguna copia externa",
                      global.KeepExternal, saidKeep_);
    backupFolder_ = backupFolder;
    backupScript_ = Given(global.BackupScript);
    failureScript_ = Given(global.FailureScript);
    backupScriptHung_ = false;
    failureScriptHung_ = false;
    copyFailed_ = false;
}

void SecondCopy::AfterGoodBackup(const CopiedCompany& company, const std::string& backupFile, CompanyStatus& status) {
    if (CopiesAsked() && Copy(company, backupFile, status))
        RemoveCopiesBeyondKeep(company, FileNameOf(backupFile, separator_));
    RunScript(backupScript_, backupScriptHung_, {backupFile, company.code});
}

bool SecondCopy::Copy(const CopiedCompany& company, const std::string& backupFile, CompanyStatus& status) {
    const std::string name = FileNameOf(backupFile, separator_);
    CopyRecord record{IsoText(p_.clock.Now()), kCopyFailed, "", backupFile, ""};
    bool done = false;
    try {
        p_.copier->CopyChecked(backupFile, folder_, name, CopyLimitSeconds(p_.files.FileSize(backupFile)));
        record.outcome = kCopyDone;
        record.copy = folder_ + name;
        status.lastCheckedCopy = record;
        Say(" Copia Externa Realizada: " + record.copy);
        done = true;
    } catch (const std::exception& e) {
        record.message = e.what();
        copyFailed_ = true;
        Say(" No terminada Copia Externa: " + company.Text() + ": " + e.what());
    }
    status.lastCopy = record;
    return done;
}

void SecondCopy::RemoveCopiesBeyondKeep(const CopiedCompany& company, const std::string& justCopied) {
    if (!keep_.keep) return;
    if (!company.naming.known) {
        Say(" No se eliminan Copias externas de " + company.naming.stem +
            ": otra base de datos del catálogo da archivos del mismo nombre");
        return;
    }
    try {
        // The copy just made and checked is never among them: a company always keeps one.
        RemoveMadeFiles(p_.files, p_.log, folder_,
                        FilesBeyondKeep(p_.files.ListFiles(folder_), company.naming.stem, kBackupFiles, ignoreCase_,
                                        *keep_.keep, {justCopied}, OwnersOf(company.naming, company.id)),
                        " Elimina Copia externa antigua: ");
    } catch (const std::exception& e) {
        Say(" No se pudo revisar la carpeta " + folder_ + " Mensaje: " + e.what());
    }
}

void SecondCopy::CatchUp(const std::vector<CopiedCompany>& companies, StatusBook& book, bool verifiedOnly,
                         const std::function<void()>& save) {
    // A share that failed this run's copies is not tried again for the older ones.
    if (!CopiesAsked() || copyFailed_) return;
    std::set<std::string> present;
    try {
        for (const std::string& name : p_.files.ListFiles(folder_))
            present.insert(ignoreCase_ ? UpperCaseAscii(name) : name);
    } catch (const std::exception& e) {
        Say(" No se pudo revisar la carpeta " + folder_ + " Mensaje: " + e.what());
        return;
    }
    struct Missing {
        const CopiedCompany* company;
        std::string file;
        std::string at;
    };
    std::vector<Missing> newest;
    std::vector<Missing> older;
    for (const CopiedCompany& company : companies) {
        const CompanyStatus* status = book.Find(company.id);
        if (!status) continue;
        // Only the copies retention would keep: an older one would go again at the next copy.
        long long wanted = keep_.keep.value_or(static_cast<long long>(status->recentBackups.size()));
        bool first = true;
        for (const BackupRecord& record : status->recentBackups) {
            if (wanted <= 0) break;
            if (record.outcome != kBackupDone || (verifiedOnly && record.verified != true)) continue;
            --wanted;
            const std::string name = FileNameOf(record.file, separator_);
            if (present.count(ignoreCase_ ? UpperCaseAscii(name) : name) || !p_.files.FileExists(record.file)) continue;
            (first ? newest : older).push_back({&company, record.file, record.at});
            first = false;
        }
    }
    std::stable_sort(older.begin(), older.end(), [](const Missing& a, const Missing& b) { return a.at > b.at; });
    newest.insert(newest.end(), older.begin(), older.end());
    for (const Missing& missing : newest) {
        CompanyStatus& status = book.Company(missing.company->id, missing.company->code, missing.company->name);
        const bool done = Copy(*missing.company, missing.file, status);
        save();
        if (!done) return;
    }
}

void SecondCopy::RunFailed(const std::string& summary) {
    if (!failureScript_ || !p_.scripts || failureScriptHung_) return;
    // The run's section of the month log is closed by now: the script's line goes at its end.
    bool opened = false;
    if (!p_.log.isMonthLogOpen() && !backupFolder_.empty()) {
        try {
            p_.log.OpenMonthLog(backupFolder_);
            opened = true;
        } catch (const std::exception&) {
            // The memo has the line.
        }
    }
    RunScript(failureScript_, failureScriptHung_, {summary});
    if (opened) {
        try {
            p_.log.CloseMonthLog();
        } catch (const std::exception&) {
        }
    }
}

void SecondCopy::RunScript(const std::optional<std::string>& script, bool& hung,
                           const std::vector<std::string>& arguments) {
    if (!script || !p_.scripts || hung) return;
    HookRun run;
    try {
        run = p_.scripts->RunHook(*script, arguments, kScriptSeconds);
    } catch (const std::exception& e) {
        Say(" No se pudo ejecutar el script " + *script + ": " + e.what());
        return;
    }
    if (!run.refused.empty()) {
        Say(" No se ejecuta el script " + *script + ": " + run.refused);
    } else if (!run.started) {
        Say(" No se pudo ejecutar el script " + *script);
    } else if (run.timedOut) {
        hung = true;
        Say(" El script " + *script + " no terminó en " + std::to_string(kScriptSeconds) +
            " segundos: se detuvo y no se ejecuta más en esta ejecución");
    } else {
        Say(" Script " + *script + " terminó con código " + std::to_string(run.exitCode) +
            (run.firstLine.empty() ? std::string() : ": " + run.firstLine));
    }
}

} // namespace veltor
