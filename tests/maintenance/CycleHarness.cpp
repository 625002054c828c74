#include "tests/maintenance/CycleHarness.h"

#include "tests/support/ScratchFolder.h"

#include <algorithm>

namespace veltor::test {

CycleHarness::CycleHarness(IServiceManager& manager, IShellLauncher& shellLauncher, IDatabaseFiles& exchange,
                           IDatabaseState& databaseState, IClock& clockUsed)
    : clock(clockUsed), global(files, messages, posix::LinuxConfigurationRules()), api(*fb::LoadClientApi(nullptr)),
      catalogue(api), backup(api), restore(api), log(files, clockUsed, regional, view), services(manager, serviceMemo),
      shell(shellLauncher), databaseFiles(exchange), databases(databaseState) {
    backup.SetProtocol(fb::ServiceProtocol::Tcp);
    restore.SetProtocol(fb::ServiceProtocol::Local);
}

std::string CycleHarness::OneCompany(const std::string& fileName, int rows) {
    const std::string path = catalogueFiles.CreateCompanyDatabase(fileName, rows);
    OneCompanyAt(path);
    return path;
}

void CycleHarness::OneCompanyAt(const std::string& path) {
    catalogueFiles.CreateCatalogue();
    Company company;
    company.id = 1;
    company.codigo = "001";
    company.nombre = "EMPRESA UNO";
    company.archivo = path;
    company.realizaRestore = "S";
    catalogueFiles.AddCompany(company);
    catalogueFiles.WriteConfiguration(catalogueFiles.folder.path());
}

int CycleHarness::Run() {
    CurrentDirectory inInstallationFolder(installationFolder.empty() ? catalogueFiles.folder.path()
                                                                     : installationFolder);
    BackupRestoreCycle cycle({global, catalogue, backup, restore, log, services, shell, databaseFiles, databases, files,
                              clock, view, restoreNow});
    cycle.SetOperations(&operations);
    cycle.RunBackupRestore();
    return cycle.FailedCompanies();
}

void CycleHarness::Configure(const std::string& lines) {
    const std::string path = catalogueFiles.folder / "ADMINBD.inf";
    WriteFile(path, ReadFile(path) + lines);
}

StatusBook CycleHarness::Book() const {
    const std::optional<StatusBook> book =
        StatusBook::FromJson(ReadFile(StatusBook::PathIn(catalogueFiles.backupFolder)));
    return book ? *book : StatusBook();
}

std::vector<std::string> CycleHarness::LogLines() const {
    const std::string text = ReadFile(log.lastMonthLogPath());
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

std::vector<std::string> CycleHarness::MemoSteps() const {
    std::vector<std::string> steps;
    for (const std::string& line : view.memo)
        if (!(line.size() > 2 && line.compare(0, 2, "  ") == 0)) steps.push_back(line);
    return steps;
}

bool CycleHarness::MemoHas(const std::string& line) const {
    return std::find(view.memo.begin(), view.memo.end(), line) != view.memo.end();
}

std::string CycleHarness::Stamp(const std::string& column) const {
    return catalogueFiles.Value("SELECT " + column + " FROM EMPRESAS WHERE EMPRESAID = 1");
}

} // namespace veltor::test
