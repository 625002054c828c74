#pragma once
// JSON for the status file and the status check's machine output, over nlohmann-json; members
// keep the order they were added in. Texts are UTF-8 in the JSON: bytes that are not (a company
// name in the catalogue's single-byte code page, a Windows path) are read as Windows-1252 on
// their way in and out.

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

namespace veltor::json {

using Value = nlohmann::ordered_json;

// Reads a document; a discarded value (is_discarded()) when it is not well formed.
Value Parse(std::string_view text);

// Writes a value, two blanks of indentation per level, one member or item a line, and a line
// end after it; never raises.
std::string Write(Value value);

// The member of an object by name; nullptr for a missing member or a value not an object.
const Value* Find(const Value& object, std::string_view name);
// The member's text, or `fallback` when it is missing or not a text.
std::string Text(const Value& object, std::string_view name, std::string fallback = {});

} // namespace veltor::json
