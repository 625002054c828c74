// Reads the server clock of a catalogue and opens the cycle's company selection on it; prints
// the clock as "DIA|HORA|ANNO", then one CODIGO per selected row. Run under a fixed clock by
// the selection tests:
//   cycle_selection_probe <database> now|timer
#include "maintenance/BackupRestoreCycle.h"

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <database> now|timer\n", argv[0]);
        return 2;
    }
    try {
        const veltor::fb::ClientApi* api = veltor::fb::LoadClientApi(nullptr);
        if (!api) throw std::runtime_error("no Firebird client library");
        veltor::catalogue::TCatalogue catalogue(*api);
        catalogue.ConnectCatalogue(argv[1], "quillbank");
        const veltor::ServerClock clock = veltor::ReadServerClock(catalogue);
        std::printf("%s|%s|%s\n", clock.DIA.c_str(), clock.HORA.c_str(), clock.ANNO.c_str());
        veltor::SelectCycleCompanies(catalogue, clock, std::string(argv[2]) == "now");
        for (auto& q = catalogue.QEmpresas; !q.Eof(); q.Next())
            std::printf("%s\n", q.FieldText("CODIGO").c_str());
        catalogue.BDAdmin.Disconnect();
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
