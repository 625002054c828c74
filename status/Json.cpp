#include "status/Json.h"

#include "text/Windows1252.h"

#include <cmath>
#include <cstdint>

namespace veltor::json {
namespace {

// What goes into the file: every text as UTF-8, and a whole number without a fraction ("2",
// not "2.0"), as the program has always written them.
void Prepare(Value& value) {
    if (value.is_string()) {
        value = ToProgramText(value.get_ref<const std::string&>());
    } else if (value.is_number_float()) {
        const double number = value.get<double>();
        if (std::isfinite(number) && number == std::floor(number) && std::fabs(number) < 9.007199254740992e15)
            value = static_cast<std::int64_t>(number);
    } else if (value.is_structured()) {
        for (Value& item : value)
            Prepare(item);
    }
}

} // namespace

Value Parse(std::string_view text) {
    return Value::parse(ToProgramText(text), nullptr, false);
}

std::string Write(Value value) {
    Prepare(value);
    const std::string dumped = value.dump(2, ' ', false, Value::error_handler_t::replace);
    // Backspace and form feed as \u0008 and \u000c, like every other control character.
    std::string out;
    out.reserve(dumped.size() + 1);
    for (std::size_t i = 0; i < dumped.size(); ++i) {
        if (dumped[i] == '\\' && i + 1 < dumped.size()) {
            const char escaped = dumped[++i];
            out += escaped == 'b' ? "\\u0008" : escaped == 'f' ? "\\u000c" : std::string{'\\', escaped};
            continue;
        }
        out += dumped[i];
    }
    out += '\n';
    return out;
}

const Value* Find(const Value& object, std::string_view name) {
    if (!object.is_object()) return nullptr;
    const auto member = object.find(name);
    return member == object.end() ? nullptr : &*member;
}

std::string Text(const Value& object, std::string_view name, std::string fallback) {
    const Value* member = Find(object, name);
    return member && member->is_string() ? member->get<std::string>() : fallback;
}

} // namespace veltor::json
