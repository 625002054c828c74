#pragma once
// The month log over fakes, for unit tests: the files, the clock, the regional formats and the
// window's memo it writes through, each open to the test.

#include "activity/ActivityLog.h"
#include "tests/support/FakeActivityView.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeFileSystem.h"
#include "tests/support/FakeRegionalFormats.h"

namespace veltor::test {

struct ActivityLogOverFakes {
    FakeFileSystem files;
    FakeClock clock;
    FakeRegionalFormats formats;
    FakeActivityView view;
    ActivityLog log{files, clock, formats, view};
};

} // namespace veltor::test
