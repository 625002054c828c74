// The scheduled run while the database server is down: it stops the shared server, so it
// runs alone.

#include "tests/backup/ScheduledRunHarness.h"
#include "tests/support/FirebirdServer.h"

#include <gtest/gtest.h>

namespace veltor::test {
namespace {

TEST(ScheduledBackupServerDown, ReportsTheConnectionAndEndsWithTheReconnectionError) {
    ASSERT_NO_FATAL_FAILURE(RequireFirebirdServer());
    ScheduledRunHarness h;
    ASSERT_NO_FATAL_FAILURE(h.catalogueFiles.CreateCatalogue());
    h.catalogueFiles.WriteConfiguration(h.catalogueFiles.folder.path());

    ASSERT_TRUE(StopFirebirdServer());
    bool raised = false;
    try {
        h.Run();
    } catch (const std::exception&) {
        raised = true;
    }
    ASSERT_TRUE(StartFirebirdServer());

    EXPECT_TRUE(raised);
    EXPECT_TRUE(h.MemoHasLineEndingWith(" No se pudo conectar a lista Empresas ... "));
    EXPECT_TRUE(h.MemoHasLineEndingWith(" Conexión: localhost:" + h.catalogueFiles.adminPath + "  Clave: quillbank"));
    EXPECT_TRUE(h.BackupFiles().empty());
}

} // namespace
} // namespace veltor::test
