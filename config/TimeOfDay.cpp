#include "config/TimeOfDay.h"

namespace veltor {

std::optional<int> MinuteOfDay(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    if (text.empty()) return 0;
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 2 || text.size() - colon - 1 < 1 ||
        text.size() - colon - 1 > 2)
        return std::nullopt;
    int parts[2] = {0, 0};
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i == colon) continue;
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        int& part = parts[i < colon ? 0 : 1];
        part = part * 10 + (text[i] - '0');
    }
    if (parts[0] > 23 || parts[1] > 59) return std::nullopt;
    return parts[0] * 60 + parts[1];
}

} // namespace veltor
