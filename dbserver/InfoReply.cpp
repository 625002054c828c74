#include "dbserver/InfoReply.h"

#include "dbserver/FbConstants.h"

namespace veltor::fb {

std::uint64_t LittleEndian(std::string_view bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes.size() && i < 8; ++i)
        value |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
    return value;
}

std::optional<std::string_view> InfoReply::Item(std::uint8_t tag) {
    const std::size_t valueAt = position_ + 3;
    if (valueAt > reply_.size() || static_cast<std::uint8_t>(reply_[position_]) != tag) return std::nullopt;
    const std::size_t length = LittleEndian(reply_.substr(position_ + 1, 2));
    if (length > reply_.size() - valueAt) return std::nullopt;
    position_ = valueAt + length;
    return reply_.substr(valueAt, length);
}

std::optional<std::uint64_t> InfoReply::FixedItem(std::uint8_t tag, std::size_t width) {
    const std::size_t valueAt = position_ + 1;
    if (valueAt > reply_.size() || static_cast<std::uint8_t>(reply_[position_]) != tag) return std::nullopt;
    if (width > reply_.size() - valueAt) return std::nullopt;
    position_ = valueAt + width;
    return LittleEndian(reply_.substr(valueAt, width));
}

bool InfoReply::AtEnd() const {
    return position_ < reply_.size() && static_cast<std::uint8_t>(reply_[position_]) == info::kEnd;
}

} // namespace veltor::fb
