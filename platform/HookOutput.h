#pragma once
// The first line of what a hook writes, gathered from the pieces its output arrives in; the
// same on every platform.

#include <cstddef>
#include <string>
#include <string_view>

namespace veltor {

class HookFirstLine {
public:
    static constexpr std::size_t kMaxBytes = 200;

    void Add(std::string_view bytes) {
        for (const char c : bytes) {
            if (complete_) return;
            if (c == '\n')
                complete_ = true;
            else if (text_.size() <= kMaxBytes) // one more than kept, for a "\r" before the line end
                text_ += c;
        }
    }

    // At most kMaxBytes bytes without the line end ("\n" or "\r\n"); a character of several
    // bytes that the limit would cut is left out whole.
    std::string Text() const {
        std::string text = text_;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        if (text.size() <= kMaxBytes) return text;
        std::size_t cut = kMaxBytes;
        for (int back = 0; back < 3 && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80; ++back)
            --cut;
        if ((static_cast<unsigned char>(text[cut]) & 0xC0) != 0xC0) cut = kMaxBytes; // not UTF-8: bytes as they are
        text.resize(cut);
        return text;
    }

private:
    std::string text_;
    bool complete_ = false;
};

} // namespace veltor
