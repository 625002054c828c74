#pragma once
// Hooks for unit tests: every call is recorded, and each answers what the test scripted.

#include "ports/HookRunner.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace veltor::test {

class FakeHookRunner : public IHookRunner {
public:
    struct Call {
        std::string script;
        std::vector<std::string> arguments;
        std::uint32_t limitSeconds = 0;
    };
    std::vector<Call> calls;
    // Answered in turn; once they are used up, `otherwise`.
    std::deque<HookRun> answers;
    HookRun otherwise{.started = true, .exitCode = 0};

    HookRun RunHook(const std::string& script, const std::vector<std::string>& arguments,
                    std::uint32_t limitSeconds) override {
        calls.push_back({script, arguments, limitSeconds});
        if (answers.empty()) return otherwise;
        HookRun answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

} // namespace veltor::test
