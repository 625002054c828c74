#pragma once
// A small JSON value with its reader and writer, enough for the status file and the status
// check's machine output. Texts are UTF-8 in the JSON; a text whose bytes are not valid UTF-8
// (a company name in the catalogue's single-byte code page, a Windows path) is read as
// Windows-1252 on its way out.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace veltor::json {

class Value;
using Array = std::vector<Value>;
// Members in the order they were added; the writer keeps that order.
using Object = std::vector<std::pair<std::string, Value>>;

class Value {
public:
    Value() = default; // null
    Value(std::nullptr_t) {}
    Value(bool flag) : data_(flag) {}
    template <typename Integer,
              std::enable_if_t<std::is_integral_v<Integer> && !std::is_same_v<Integer, bool>, int> = 0>
    Value(Integer number) : data_(static_cast<double>(number)) {}
    Value(double number) : data_(number) {}
    Value(std::string text) : data_(std::move(text)) {}
    Value(const char* text) : data_(std::string(text)) {}
    Value(Array items) : data_(std::move(items)) {}
    Value(Object members) : data_(std::move(members)) {}

    bool IsNull() const { return std::holds_alternative<std::monostate>(data_); }
    const bool* AsBool() const { return std::get_if<bool>(&data_); }
    const double* AsNumber() const { return std::get_if<double>(&data_); }
    const std::string* AsString() const { return std::get_if<std::string>(&data_); }
    const Array* AsArray() const { return std::get_if<Array>(&data_); }
    const Object* AsObject() const { return std::get_if<Object>(&data_); }
    Object* AsObject() { return std::get_if<Object>(&data_); }

    // The member of an object by name; nullptr for a missing member or a value not an object.
    const Value* Find(std::string_view name) const;
    // The member's text, or `fallback` when it is missing or not a text.
    std::string Text(std::string_view name, std::string fallback = {}) const;
    // The member's number, when it is one.
    std::optional<double> Number(std::string_view name) const;

private:
    std::variant<std::monostate, bool, double, std::string, Array, Object> data_;
};

// Reads a JSON document; nothing when it is not well formed (or nests deeper than 64).
std::optional<Value> Parse(std::string_view text);

// Writes a value, two blanks of indentation per level, one member or item a line.
std::string Write(const Value& value);

// The UTF-8 form of a text: valid UTF-8 stays as it is, every other byte is read as Windows-1252.
std::string ToUtf8(std::string_view text);

} // namespace veltor::json
