#pragma once
#include "ports/Clock.h"
#include <string>

namespace veltor {

// The user's regional settings: short date and long time as the system formats them,
// in UTF-8.
class IRegionalFormats {
public:
    virtual ~IRegionalFormats() = default;
    virtual std::string ShortDate(const LocalDateTime& moment) const = 0;
    virtual std::string LongTime(const LocalDateTime& moment) const = 0;
};

} // namespace veltor
