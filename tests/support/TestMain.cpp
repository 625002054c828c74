// The main of every test executable. Tests that restore through the local service manager run
// the Firebird engine in the test process, and the client library's exit handlers can crash
// after that; so once the tests have run (and, under the sanitizers, the leak check too) the
// process ends without running them.

#include "dbserver/FbClientApi.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

int main(int argc, char** argv) {
    ::testing::InitGoogleMock(&argc, argv);
    const int result = RUN_ALL_TESTS();
    // The engine's threads end before the leak check looks at every thread of the process.
    if (const veltor::fb::ClientApi* api = veltor::fb::LoadClientApi(nullptr))
        api->shutdown(10000, veltor::fb::kShutdownApplicationStopped);
#if defined(__SANITIZE_ADDRESS__)
    // Reports the leaks and ends the process with an error when it finds any.
    __lsan_do_leak_check();
#endif
    std::fflush(nullptr);
    _exit(result);
}
