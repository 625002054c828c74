#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <sys/stat.h>

namespace veltor::test {

ScratchFolder::ScratchFolder(const std::string& tag, Writers writers) {
    if (writers == Writers::RootOnly) {
        // Straight under /var/tmp, whose sticky bit lets nobody else move it.
        std::string pattern = "/var/tmp/veltor-" + tag + "-XXXXXX";
        if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a scratch folder");
        path_ = pattern;
        chmod(path_.c_str(), 0755);
        return;
    }
    std::filesystem::create_directories("/var/tmp/veltor-tests");
    std::string pattern = "/var/tmp/veltor-tests/" + tag + "-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a scratch folder");
    path_ = pattern;
    // The database server runs as its own user and writes here too.
    chmod("/var/tmp/veltor-tests", 0777);
    chmod(path_.c_str(), 0777);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot read " << path;
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> FilesLike(const std::string& folder, const std::string& pattern) {
    std::vector<std::string> found;
    const std::regex like(pattern);
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (std::regex_match(entry.path().filename().string(), like)) found.push_back(entry.path().string());
    return found;
}

} // namespace veltor::test
