#include "tests/support/FirebirdServer.h"

#include <gtest/gtest.h>

TEST(FirebirdServer, AcceptsSysdbaWithTheProductPassword) {
    ASSERT_NO_FATAL_FAILURE(veltor::test::RequireFirebirdServer());
}
