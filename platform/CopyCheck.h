#pragma once
// What the checked copy measures on every platform: the size and CRC-32 (zlib's) of the bytes
// read, and the time left before the copy is given up.

#include <zlib.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace veltor {

class CopyDeadline {
public:
    explicit CopyDeadline(std::uint32_t seconds)
        : seconds_(seconds), end_(Clock::now() + std::chrono::seconds(seconds)) {}
    // Raises once the time is up.
    void Check() const {
        if (Clock::now() >= end_)
            throw std::runtime_error("se superó el tiempo de la copia (" + std::to_string(seconds_) + " s)");
    }

private:
    using Clock = std::chrono::steady_clock;
    std::uint32_t seconds_;
    Clock::time_point end_;
};

struct CopySummary {
    std::uint64_t size = 0;
    uLong crc = crc32(0L, Z_NULL, 0);
    void Add(const void* bytes, std::size_t n) {
        size += n;
        crc = crc32(crc, static_cast<const Bytef*>(bytes), static_cast<uInt>(n));
    }
    bool operator==(const CopySummary&) const = default;
};

} // namespace veltor
