#include "config/Global.h"
#include "platform/posix/PosixPlatform.h"
#include "tests/support/FakeClock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <locale.h>
#include <optional>

namespace veltor {
namespace {

TEST(PosixClock, NowIsAPlausibleLocalMoment) {
    posix::PosixClock clock;
    const LocalDateTime now = clock.Now();
    EXPECT_GE(now.year, 2024);
    EXPECT_TRUE(now.month >= 1 && now.month <= 12);
    EXPECT_TRUE(now.day >= 1 && now.day <= 31);
    EXPECT_TRUE(now.hour >= 0 && now.hour <= 23);
    EXPECT_TRUE(now.minute >= 0 && now.minute <= 59);
    EXPECT_TRUE(now.second >= 0 && now.second <= 60);
    EXPECT_EQ(now.weekday, test::MakeDateTime(now.year, now.month, now.day).weekday);
}

TEST(PosixClock, SleepMovesTheTickCountByAboutItsLength) {
    posix::PosixClock clock;
    const std::uint32_t before = clock.TickCount();
    clock.Sleep(120);
    const std::uint32_t elapsed = clock.TickCount() - before;
    EXPECT_GE(elapsed, 120u);
    EXPECT_LT(elapsed, 5000u);
}

// Sets LC_ALL for the lifetime of the object; the formats read the environment when made.
class LocaleEnvironment {
public:
    explicit LocaleEnvironment(const char* name) {
        if (const char* old = std::getenv("LC_ALL")) previous_ = old;
        setenv("LC_ALL", name, 1);
    }
    ~LocaleEnvironment() {
        if (previous_) {
            setenv("LC_ALL", previous_->c_str(), 1);
        } else {
            unsetenv("LC_ALL");
        }
    }

private:
    std::optional<std::string> previous_;
};

const LocalDateTime kMoment = test::MakeDateTime(2026, 12, 7, 12, 45, 3);

TEST(PosixRegionalFormats, CLocaleGivesMonthFirstDateAnd24HourTime) {
    LocaleEnvironment c("C");
    posix::PosixRegionalFormats formats;
    EXPECT_EQ(formats.ShortDate(kMoment), "12/07/26");
    EXPECT_EQ(formats.LongTime(kMoment), "12:45:03");
}

TEST(PosixRegionalFormats, UninstalledLocaleFallsBackToC) {
    LocaleEnvironment missing("xx_YY.UTF-8");
    posix::PosixRegionalFormats formats;
    EXPECT_EQ(formats.ShortDate(kMoment), "12/07/26");
    EXPECT_EQ(formats.LongTime(kMoment), "12:45:03");
}

TEST(PosixRegionalFormats, SpanishLocaleGivesDayFirstDate) {
    const char* spanish = nullptr;
    for (const char* name : {"es_ES.UTF-8", "es_ES.utf8", "es_ES", "es_AR.UTF-8", "es_MX.UTF-8"}) {
        if (locale_t probe = newlocale(LC_ALL_MASK, name, static_cast<locale_t>(nullptr))) {
            freelocale(probe);
            spanish = name;
            break;
        }
    }
    if (!spanish) GTEST_SKIP() << "no Spanish locale installed";
    LocaleEnvironment es(spanish);
    posix::PosixRegionalFormats formats;
    const std::string date = formats.ShortDate(kMoment);
    EXPECT_FALSE(date.empty());
    EXPECT_EQ(date.substr(0, 3), "07/");
    EXPECT_FALSE(formats.LongTime(kMoment).empty());
}

TEST(PosixPlatform, VersionQueryFailsSoTheGenerationIsZero) {
    EXPECT_FALSE(posix::PosixOsVersion().Query().has_value());
    EXPECT_EQ(TGlobal::OsGeneration(posix::PosixOsVersion()), 0);
}

TEST(PosixPlatform, LinuxRulesKeepCaseAndUseVarLib) {
    const ConfigurationRules rules = posix::LinuxConfigurationRules();
    EXPECT_FALSE(rules.upperCaseValues);
    EXPECT_EQ(rules.defaultBackupFolder, "/var/lib/veltor/Backups/");
    EXPECT_EQ(rules.defaultBackupParent, "/var/lib/veltor/");
    EXPECT_EQ(rules.pathSeparator, '/');
}

} // namespace
} // namespace veltor
