#include "status/Json.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace veltor::json {
namespace {

// Unicode of the Windows-1252 bytes 0x80 to 0x9F; the five the code page leaves out keep
// their own value.
constexpr std::array<std::uint16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The length of the valid UTF-8 sequence at `at`, 0 when there is none.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07u;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(at + i) & 0x3Fu);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

void WriteString(std::string& out, std::string_view text) {
    out += '"';
    const std::string utf8 = ToUtf8(text);
    for (const char c : utf8) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

void WriteNumber(std::string& out, double number) {
    if (!std::isfinite(number)) {
        out += "null";
        return;
    }
    char text[32];
    if (number == std::floor(number) && std::fabs(number) < 9.007199254740992e15)
        std::snprintf(text, sizeof text, "%.0f", number);
    else
        std::snprintf(text, sizeof text, "%.17g", number);
    out += text;
}

void WriteValue(std::string& out, const Value& value, int depth) {
    const std::string indent(static_cast<std::size_t>(depth + 1) * 2, ' ');
    const std::string closing(static_cast<std::size_t>(depth) * 2, ' ');
    if (value.IsNull()) {
        out += "null";
    } else if (const bool* flag = value.AsBool()) {
        out += *flag ? "true" : "false";
    } else if (const double* number = value.AsNumber()) {
        WriteNumber(out, *number);
    } else if (const std::string* text = value.AsString()) {
        WriteString(out, *text);
    } else if (const Array* items = value.AsArray()) {
        if (items->empty()) {
            out += "[]";
            return;
        }
        out += "[\n";
        for (std::size_t i = 0; i < items->size(); ++i) {
            out += indent;
            WriteValue(out, (*items)[i], depth + 1);
            out += i + 1 < items->size() ? ",\n" : "\n";
        }
        out += closing + "]";
    } else if (const Object* members = value.AsObject()) {
        if (members->empty()) {
            out += "{}";
            return;
        }
        out += "{\n";
        for (std::size_t i = 0; i < members->size(); ++i) {
            out += indent;
            WriteString(out, (*members)[i].first);
            out += ": ";
            WriteValue(out, (*members)[i].second, depth + 1);
            out += i + 1 < members->size() ? ",\n" : "\n";
        }
        out += closing + "}";
    }
}

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    std::optional<Value> Document() {
        std::optional<Value> value = Read(0);
        SkipBlanks();
        if (!value || at_ != text_.size()) return std::nullopt;
        return value;
    }

private:
    static constexpr int kDeepest = 64;

    void SkipBlanks() {
        while (at_ < text_.size() &&
               (text_[at_] == ' ' || text_[at_] == '\n' || text_[at_] == '\r' || text_[at_] == '\t'))
            ++at_;
    }
    bool Take(char c) {
        SkipBlanks();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    bool Word(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }

    std::optional<Value> Read(int depth) {
        if (depth >= kDeepest) return std::nullopt;
        SkipBlanks();
        if (at_ >= text_.size()) return std::nullopt;
        const char c = text_[at_];
        if (c == '{') return ReadObject(depth);
        if (c == '[') return ReadArray(depth);
        if (c == '"') {
            std::optional<std::string> text = ReadString();
            if (!text) return std::nullopt;
            return Value(std::move(*text));
        }
        if (Word("null")) return Value();
        if (Word("true")) return Value(true);
        if (Word("false")) return Value(false);
        return ReadNumber();
    }

    std::optional<Value> ReadObject(int depth) {
        ++at_;
        Object members;
        if (Take('}')) return Value(std::move(members));
        do {
            SkipBlanks();
            if (at_ >= text_.size() || text_[at_] != '"') return std::nullopt;
            std::optional<std::string> name = ReadString();
            if (!name || !Take(':')) return std::nullopt;
            std::optional<Value> value = Read(depth + 1);
            if (!value) return std::nullopt;
            members.emplace_back(std::move(*name), std::move(*value));
        } while (Take(','));
        if (!Take('}')) return std::nullopt;
        return Value(std::move(members));
    }

    std::optional<Value> ReadArray(int depth) {
        ++at_;
        Array items;
        if (Take(']')) return Value(std::move(items));
        do {
            std::optional<Value> value = Read(depth + 1);
            if (!value) return std::nullopt;
            items.push_back(std::move(*value));
        } while (Take(','));
        if (!Take(']')) return std::nullopt;
        return Value(std::move(items));
    }

    std::optional<std::uint32_t> ReadHex4() {
        if (at_ + 4 > text_.size()) return std::nullopt;
        std::uint32_t code = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = text_[at_++];
            code <<= 4;
            if (h >= '0' && h <= '9')
                code |= static_cast<std::uint32_t>(h - '0');
            else if (h >= 'a' && h <= 'f')
                code |= static_cast<std::uint32_t>(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F')
                code |= static_cast<std::uint32_t>(h - 'A' + 10);
            else
                return std::nullopt;
        }
        return code;
    }

    std::optional<std::string> ReadString() {
        ++at_; // the opening quote
        std::string out;
        while (at_ < text_.size()) {
            const char c = text_[at_++];
            if (c == '"') return out;
            if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ >= text_.size()) return std::nullopt;
            const char e = text_[at_++];
            switch (e) {
            case '"':
                out += '"';
                break;
            case '\\':
                out += '\\';
                break;
            case '/':
                out += '/';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                std::optional<std::uint32_t> code = ReadHex4();
                if (!code) return std::nullopt;
                if (*code >= 0xD800 && *code <= 0xDBFF) {
                    if (!Word("\\u")) return std::nullopt;
                    const std::optional<std::uint32_t> low = ReadHex4();
                    if (!low || *low < 0xDC00 || *low > 0xDFFF) return std::nullopt;
                    *code = 0x10000 + ((*code - 0xD800) << 10) + (*low - 0xDC00);
                } else if (*code >= 0xDC00 && *code <= 0xDFFF) {
                    return std::nullopt;
                }
                AppendUtf8(out, *code);
                break;
            }
            default:
                return std::nullopt;
            }
        }
        return std::nullopt;
    }

    std::optional<Value> ReadNumber() {
        const std::size_t start = at_;
        if (at_ < text_.size() && text_[at_] == '-') ++at_;
        const std::size_t digits = at_;
        while (at_ < text_.size() && ((text_[at_] >= '0' && text_[at_] <= '9') || text_[at_] == '.' ||
                                      text_[at_] == 'e' || text_[at_] == 'E' || text_[at_] == '+' || text_[at_] == '-'))
            ++at_;
        if (at_ == digits || text_[digits] < '0' || text_[digits] > '9') return std::nullopt;
        const std::string number(text_.substr(start, at_ - start));
        char* end = nullptr;
        const double value = std::strtod(number.c_str(), &end);
        if (end != number.c_str() + number.size()) return std::nullopt;
        return Value(value);
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

} // namespace

const Value* Value::Find(std::string_view name) const {
    const Object* members = AsObject();
    if (!members) return nullptr;
    for (const auto& [key, value] : *members)
        if (key == name) return &value;
    return nullptr;
}

std::string Value::Text(std::string_view name, std::string fallback) const {
    const Value* member = Find(name);
    const std::string* text = member ? member->AsString() : nullptr;
    return text ? *text : fallback;
}

std::optional<double> Value::Number(std::string_view name) const {
    const Value* member = Find(name);
    const double* number = member ? member->AsNumber() : nullptr;
    if (!number) return std::nullopt;
    return *number;
}

std::optional<Value> Parse(std::string_view text) {
    return Reader(text).Document();
}

std::string Write(const Value& value) {
    std::string out;
    WriteValue(out, value, 0);
    out += '\n';
    return out;
}

std::string ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = Utf8SequenceAt(text, at);
        if (length > 0) {
            out.append(text.substr(at, length));
            at += length;
            continue;
        }
        const auto byte = static_cast<unsigned char>(text[at++]);
        AppendUtf8(out, byte < 0xA0 ? kHighControls[byte - 0x80u] : byte);
    }
    return out;
}

} // namespace veltor::json
