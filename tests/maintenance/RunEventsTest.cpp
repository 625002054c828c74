#include "maintenance/RunEvents.h"
#include "tests/support/FakeEventLog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace veltor::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(RunEvents, ARunWithCompaniesNotDoneIsOneWarningNamingEachAndOneCutShortIsAnError) {
    FakeEventLog events;
    ReportRunEnd(events, "Backup", false, {});
    EXPECT_THAT(events.events, IsEmpty());

    ReportRunEnd(events, "Backup", false, {"001 - UNO: disco lleno"});
    ReportRunEnd(events, "Backup-Restore", false, {"001 - UNO: disco lleno", "002 - DOS: sin servicio"});
    ReportRunEnd(events, "Backup", true, {});
    ReportRunEnd(events, "Backup", true, {"003 - TRES: no se pudo abrir el log x"});
    EXPECT_THAT(events.events, ElementsAre("warning: Backup: 1 empresa no terminada\n001 - UNO: disco lleno",
                                           "warning: Backup-Restore: 2 empresas no terminadas\n001 - UNO: disco lleno\n"
                                           "002 - DOS: sin servicio",
                                           "error: Backup: la ejecución terminó antes de hacer sus empresas",
                                           "error: Backup: la ejecución terminó antes de hacer sus empresas\n"
                                           "003 - TRES: no se pudo abrir el log x"));
}

} // namespace
} // namespace veltor::test
