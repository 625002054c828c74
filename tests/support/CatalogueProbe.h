#pragma once
// The frame of the probe programs: connects the catalogue named by the first argument as the
// administrator, hands it to the probe and disconnects. Too few arguments print the usage and
// end with 2; a failure goes to standard error and ends with 1.

#include "catalogue/Catalogue.h"
#include "dbserver/Administrator.h"

#include <cstdio>
#include <exception>
#include <stdexcept>

namespace veltor::test {

template <class Probe> int RunCatalogueProbe(int argc, char** argv, int arguments, const char* usage, Probe probe) {
    if (argc < arguments + 1) {
        std::fprintf(stderr, "usage: %s %s\n", argv[0], usage);
        return 2;
    }
    try {
        const fb::ClientApi* api = fb::LoadClientApi(nullptr);
        if (!api) throw std::runtime_error("no Firebird client library");
        catalogue::Catalogue catalogue(*api);
        catalogue.ConnectCatalogue(argv[1], kAdministratorPassword);
        probe(catalogue);
        catalogue.BDAdmin.Disconnect();
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}

} // namespace veltor::test
