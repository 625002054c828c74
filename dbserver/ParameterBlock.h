#pragma once
// A writer of Firebird parameter blocks (attachment, transaction, service attachment and
// service start blocks): tagged items with 1-, 2- or 4-byte little-endian lengths and
// values. Pure: no I/O, so every block can be checked byte for byte.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace veltor::fb {

class ParameterBlock {
public:
    ParameterBlock() = default;

    ParameterBlock& Byte(std::uint8_t value) {
        bytes_ += static_cast<char>(value);
        return *this;
    }
    // tag, 1-byte length, text (attachment blocks)
    ParameterBlock& String1(std::uint8_t tag, std::string_view text) {
        if (text.size() > 255) throw std::length_error("valor de parámetro de más de 255 bytes");
        Byte(tag).Byte(static_cast<std::uint8_t>(text.size()));
        bytes_.append(text);
        return *this;
    }
    // tag, 1-byte length 0: an item of an attachment block whose presence is its meaning
    ParameterBlock& Flag1(std::uint8_t tag) { return Byte(tag).Byte(0); }
    // tag, 2-byte length, text (service start blocks)
    ParameterBlock& String2(std::uint8_t tag, std::string_view text) {
        if (text.size() > 0xFFFF) throw std::length_error("valor de parámetro de más de 65535 bytes");
        Byte(tag);
        AppendLittleEndian(static_cast<std::uint32_t>(text.size()), 2);
        bytes_.append(text);
        return *this;
    }
    // tag, 4-byte value (service start blocks)
    ParameterBlock& Int4(std::uint8_t tag, std::uint32_t value) {
        Byte(tag);
        AppendLittleEndian(value, 4);
        return *this;
    }
    // tag, 1-byte length 4, 4-byte value (attachment blocks)
    ParameterBlock& LengthInt4(std::uint8_t tag, std::uint32_t value) {
        Byte(tag).Byte(4);
        AppendLittleEndian(value, 4);
        return *this;
    }

    const std::string& bytes() const { return bytes_; }
    const char* data() const { return bytes_.data(); }
    std::size_t size() const { return bytes_.size(); }

private:
    void AppendLittleEndian(std::uint32_t value, int width) {
        for (int i = 0; i < width; ++i)
            bytes_ += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    std::string bytes_;
};

} // namespace veltor::fb
