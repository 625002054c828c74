#include "tests/support/ProbeProcess.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <sstream>

namespace veltor::test {

std::vector<std::string> RunProbe(const std::string& command, const std::string& fakeNow, bool withErrors) {
    std::string shell = "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 ";
    if (!fakeNow.empty()) shell += "faketime '" + fakeNow + "' ";
    shell += command + (withErrors ? " 2>&1" : " 2>/dev/null");
    std::string output;
    if (FILE* pipe = popen(shell.c_str(), "r")) {
        std::array<char, 4096> buffer{};
        std::size_t n;
        while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
            output.append(buffer.data(), n);
        EXPECT_EQ(pclose(pipe), 0) << "probe failed: " << shell << "\n" << output;
    } else {
        ADD_FAILURE() << "cannot run " << shell;
    }
    std::vector<std::string> lines;
    std::istringstream text(output);
    for (std::string line; std::getline(text, line);)
        lines.push_back(line);
    return lines;
}

} // namespace veltor::test
