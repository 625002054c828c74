#pragma once
// A real administration database with company databases beside it, in a scratch folder,
// served by the local Firebird server; and an ADMINBD.inf that points at it.

#include "tests/support/ScratchFolder.h"

#include <string>

namespace veltor::test {

// A company row of EMPRESAS; empty texts are written as NULL.
struct Company {
    int id = 0;
    std::string codigo;
    std::string nombre;
    std::string anofis = "2020";
    std::string archivo;
    std::string realizaBackup = "S";
    std::string horaBackup01;
    std::string horaBackup02;
    std::string soloBackupMensual = "N";
    std::string diaMesBackup = "00";
    std::string realizaRestore;
    std::string horaRestore;
};

class CatalogueFixture {
public:
    CatalogueFixture();

    ScratchFolder folder{"catalogue"};
    std::string adminPath;    // the administration database
    std::string backupFolder; // with a final "/"

    // Creates EMPRESAS with the suite's columns and, with `scheduling`, the system's own.
    void CreateCatalogue(bool scheduling = true);
    // A company database with a table MOVIMIENTOS of `rows` rows; returns its path.
    std::string CreateCompanyDatabase(const std::string& name, int rows);
    void AddCompany(const Company& company);
    // Runs SQL on the administration database and returns isql's output.
    std::string Sql(const std::string& statements) const;
    // The single value a one-column, one-row query prints, trimmed.
    std::string Value(const std::string& query, const std::string& database = "") const;
    // Writes ADMINBD.inf into `directory` for this catalogue (RUTABD before SERVIDOR).
    void WriteConfiguration(const std::string& directory, const std::string& period = "00:30") const;
};

// Enters a folder for the life of the object (the configuration is read from the current
// directory).
class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::string& path);
    ~CurrentDirectory();
    CurrentDirectory(const CurrentDirectory&) = delete;
    CurrentDirectory& operator=(const CurrentDirectory&) = delete;

private:
    std::string previous_;
};

// The current local minute as "HH:MM".
std::string CurrentHourMinute();

} // namespace veltor::test
