#pragma once
// The administration database as the backup-restore cycle and the runs' operations use it:
// the connection, the company list QEmpresas walked row by row, the statements that stamp a
// company, and the lists read on queries of their own. Catalogue is the one over the server;
// a test gives the cycle its companies and sees its stamps through a catalogue held in memory.

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace veltor::catalogue {

// A company's database file as the catalogue lists it.
struct CompanyFile {
    std::string id;   // EMPRESAID
    std::string path; // ARCHIVO
    std::string code; // CODIGO
    std::string name; // NOMBRE
};

// The rows of the open selection, one current at a time.
class ICompanyRows {
public:
    virtual ~ICompanyRows() = default;
    virtual void First() = 0;
    virtual void Next() = 0;
    // True past the last row and while closed.
    virtual bool Eof() const = 0;
    virtual bool Active() const = 0;
    virtual void Close() noexcept = 0;
    // The named column of the current row as text; empty for NULL and without a current row.
    // Raises for a column the selection does not have.
    virtual std::string FieldText(std::string_view column) const = 0;
};

class ICompanyCatalogue {
public:
    virtual ~ICompanyCatalogue() = default;

    // Closes the selection, disconnects and connects to `databaseString`; raises its failure.
    virtual void ConnectCatalogue(const std::string& databaseString, const std::string& password) = 0;
    // Disconnects and connects again to the same database (after the server was restarted);
    // raises its failure.
    virtual void ConnectAgain() = 0;
    // Opens `statement` as the selection (QEmpresas); on failure it stays closed and the
    // failure is raised.
    virtual void OpenSelection(const std::string& statement) = 0;
    // QEmpresas.
    virtual ICompanyRows& Selection() = 0;
    // Executes one statement that reads no rows (the stamps); raises its failure.
    virtual void ExecuteCommand(const std::string& statement) = 0;
    // Every company's database file with its code and name, read beside the selection. Raises
    // the failure.
    virtual std::vector<CompanyFile> CompanyFiles() = 0;
    // EMPRESAID -> HORAULTRESTORE of the companies whose cycle was stamped on the server's
    // today, read beside the selection. Raises the failure.
    virtual std::map<std::string, std::string> RestoredToday() = 0;
};

} // namespace veltor::catalogue
