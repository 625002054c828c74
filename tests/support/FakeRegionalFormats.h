#pragma once
// Regional formats for unit tests: day/month/year with a four-digit year and a 24-hour time
// unless a test installs formats of its own.

#include "ports/RegionalFormats.h"

#include <cstdio>
#include <functional>
#include <string>

namespace veltor::test {

class FakeRegionalFormats : public IRegionalFormats {
public:
    std::function<std::string(const LocalDateTime&)> shortDate = [](const LocalDateTime& m) {
        char text[32];
        std::snprintf(text, sizeof text, "%02d/%02d/%04d", m.day, m.month, m.year);
        return std::string(text);
    };
    std::function<std::string(const LocalDateTime&)> longTime = [](const LocalDateTime& m) {
        char text[32];
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", m.hour, m.minute, m.second);
        return std::string(text);
    };

    std::string ShortDate(const LocalDateTime& moment) const override { return shortDate(moment); }
    std::string LongTime(const LocalDateTime& moment) const override { return longTime(moment); }
};

} // namespace veltor::test
