#pragma once
// A stand-in for the copier of the second folder: it records what it was asked, fails as told,
// and lands the copy in a fake file system.

#include "ports/CheckedCopy.h"
#include "tests/support/FakeFileSystem.h"

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace veltor::test {

class FakeCheckedCopier final : public ICheckedCopier {
public:
    struct Call {
        std::string source, folder, name;
        std::uint32_t limitSeconds = 0;
    };

    explicit FakeCheckedCopier(FakeFileSystem& files) : files_(files) {}

    void CopyChecked(const std::string& source, const std::string& folder, const std::string& name,
                     std::uint32_t limitSeconds) override {
        calls.push_back({source, folder, name, limitSeconds});
        if (const auto failure = failures.find(name); failure != failures.end())
            throw std::runtime_error(failure->second);
        files_.AddFile(folder + name, files_.Content(source).value_or(""));
    }

    std::vector<Call> calls;
    std::map<std::string, std::string> failures; // a name's copy fails with this message

private:
    FakeFileSystem& files_;
};

} // namespace veltor::test
