#pragma once
// The service control's memo for unit tests: every line written is recorded after the fixed
// stamp prefix.

#include "dbserver/ServiceControl.h"

#include <string>
#include <vector>

namespace veltor::test {

class FakeServiceControlMemo : public IServiceControlMemo {
public:
    static constexpr const char* kPrefix = "07/12/2026 - 12:45:03";

    std::string StampPrefix() override { return kPrefix; }
    void WriteMemoLine(const std::string& line) override { lines.push_back(line); }

    std::vector<std::string> lines;
};

} // namespace veltor::test
