#pragma once
#include <cstdint>
#include <optional>

namespace veltor {

// The platform's own version record: platform id (1 for the 9x family, 2 for the NT
// family), major and minor version.
struct OsVersionInfo {
    std::uint32_t platformId = 0;
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
};

class IOsVersion {
public:
    virtual ~IOsVersion() = default;
    // Nothing when the platform cannot tell (or has no such record).
    virtual std::optional<OsVersionInfo> Query() const = 0;
};

} // namespace veltor
