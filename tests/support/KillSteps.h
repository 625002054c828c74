#pragma once
// The name of a test of a process killed at a step: "between-swap-steps" gives
// "BetweenSwapSteps".

#include <string>

namespace veltor::test {

inline std::string StepTestName(const char* step) {
    std::string name;
    bool upper = true;
    for (const char* c = step; *c; ++c) {
        if (*c == '-') {
            upper = true;
            continue;
        }
        name += upper && *c >= 'a' && *c <= 'z' ? static_cast<char>(*c - 'a' + 'A') : *c;
        upper = false;
    }
    return name;
}

} // namespace veltor::test
