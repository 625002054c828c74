#pragma once
// A reader of the replies of the client library's information calls (database_info,
// dsql_sql_info, service_query): a sequence of items, each a tag byte, a two-byte
// little-endian length and the value, ended by the end item. Some service items carry a
// four-byte value without a length. Pure: the reply is checked against its size, never read
// beyond it.
//
//   InfoReply reply(buffer, sizeof buffer);
//   const auto value = reply.Item(info::kNextTransaction);
//   if (!value || !reply.AtEnd()) throw ...;
//   const std::uint64_t next = LittleEndian(*value);

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace veltor::fb {

// The unsigned little-endian integer of up to eight bytes.
std::uint64_t LittleEndian(std::string_view bytes);

class InfoReply {
public:
    InfoReply(const char* reply, std::size_t size) : reply_(reply, size) {}

    // The value of the item at the read position when it has the tag and fits in the reply,
    // and the position moves past it; nothing otherwise, and the position stays.
    std::optional<std::string_view> Item(std::uint8_t tag);
    // The value of an item of the tag that carries `width` bytes without a length.
    std::optional<std::uint64_t> FixedItem(std::uint8_t tag, std::size_t width);
    // Whether the read position holds the end item.
    bool AtEnd() const;

private:
    std::string_view reply_;
    std::size_t position_ = 0;
};

} // namespace veltor::fb
