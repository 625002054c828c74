// Reads the server clock of a catalogue and opens the cycle's company selection on it; prints
// the clock as "DIA|HORA|ANNO", then one CODIGO per selected row. Run under a fixed clock by
// the selection tests:
//   cycle_selection_probe <database> now|timer
#include "catalogue/CycleSelection.h"
#include "tests/support/CatalogueProbe.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    return veltor::test::RunCatalogueProbe(argc, argv, 2, "<database> now|timer", [&](auto& catalogue) {
        const veltor::catalogue::ServerClock clock = veltor::catalogue::ReadServerClock(catalogue);
        std::printf("%s|%s|%s\n", clock.DIA.c_str(), clock.HORA.c_str(), clock.ANNO.c_str());
        veltor::catalogue::SelectCycleCompanies(catalogue, clock, std::string(argv[2]) == "now");
        for (auto& q = catalogue.QEmpresas; !q.Eof(); q.Next())
            std::printf("%s\n", q.FieldText("CODIGO").c_str());
    });
}
