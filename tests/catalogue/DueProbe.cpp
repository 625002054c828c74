// Opens the due-backup selection on a catalogue and prints one line per due row,
// "CODIGO|HORABACKUP". Run under a fixed clock by the selection tests:
//   catalogue_due_probe <database> <hours> <minutes> [prepare]
//   catalogue_due_probe <database> <hours> <minutes> <hours> <minutes>...
// With "prepare" the schema upgrade and the defaults run first, as a scheduled run does. With
// several periods the selection is opened once for each, and each line begins with its period,
// "hours:minutes|CODIGO|HORABACKUP". The time each selection took goes to standard error.
#include "tests/support/CatalogueProbe.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

int main(int argc, char** argv) {
    return veltor::test::RunCatalogueProbe(
        argc, argv, 3, "<database> <hours> <minutes> [prepare | <hours> <minutes>...]", [&](auto& catalogue) {
            const bool prepare = argc == 5 && std::string(argv[4]) == "prepare";
            if (prepare) {
                catalogue.UpgradeCatalogue();
                catalogue.ApplyBackupDefaults();
            }
            std::vector<std::pair<std::string, std::string>> periods;
            for (int i = 2; i + 1 < argc; i += 2)
                periods.emplace_back(argv[i], argv[i + 1]);
            for (const auto& [hours, minutes] : periods) {
                const std::string prefix = periods.size() > 1 ? hours + ":" + minutes + "|" : "";
                const auto start = std::chrono::steady_clock::now();
                catalogue.SelectDueCompanies(hours, minutes);
                const auto took = std::chrono::steady_clock::now() - start;
                for (auto& q = catalogue.QEmpresas; !q.Eof(); q.Next())
                    std::printf("%s%s|%s\n", prefix.c_str(), q.FieldText("CODIGO").c_str(),
                                q.FieldText("HORABACKUP").c_str());
                std::fprintf(stderr, "%d rows in %.1f ms\n", catalogue.QEmpresas.RecordCount(),
                             std::chrono::duration<double, std::milli>(took).count());
            }
        });
}
