// Opens the due-backup selection on a catalogue and prints one line per due row,
// "CODIGO|HORABACKUP". Run under a fixed clock by the selection tests:
//   catalogue_due_probe <database> <hours> <minutes> [prepare]
// With "prepare" the schema upgrade and the defaults run first, as a scheduled run does.
// The time the selection took goes to standard error.
#include "tests/support/CatalogueProbe.h"

#include <chrono>
#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    return veltor::test::RunCatalogueProbe(
        argc, argv, 3, "<database> <hours> <minutes> [prepare]", [&](auto& catalogue) {
            if (argc > 4 && std::string(argv[4]) == "prepare") {
                catalogue.UpgradeCatalogue();
                catalogue.ApplyBackupDefaults();
            }
            const auto start = std::chrono::steady_clock::now();
            catalogue.SelectDueCompanies(argv[2], argv[3]);
            const auto took = std::chrono::steady_clock::now() - start;
            for (auto& q = catalogue.QEmpresas; !q.Eof(); q.Next())
                std::printf("%s|%s\n", q.FieldText("CODIGO").c_str(), q.FieldText("HORABACKUP").c_str());
            std::fprintf(stderr, "%d rows in %.1f ms\n", catalogue.QEmpresas.RecordCount(),
                         std::chrono::duration<double, std::milli>(took).count());
        });
}
