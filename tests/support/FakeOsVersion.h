#pragma once
// A version query for unit tests: answers the record set, or fails when there is none.

#include "ports/OsVersion.h"

#include <optional>

namespace veltor::test {

class FakeOsVersion : public IOsVersion {
public:
    std::optional<OsVersionInfo> info;

    FakeOsVersion() = default;
    FakeOsVersion(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor)
        : info(OsVersionInfo{platformId, major, minor}) {}

    std::optional<OsVersionInfo> Query() const override { return info; }
};

} // namespace veltor::test
