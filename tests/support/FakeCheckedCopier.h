#pragma once
// Stand-ins for the copier of the second folder and for the administrator's scripts: they
// record what they were asked, fail as told, and land the copy in a fake file system.

#include "ports/CheckedCopy.h"
#include "ports/HookRunner.h"
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

class FakeHookRunner final : public IHookRunner {
public:
    struct Call {
        std::string script;
        std::vector<std::string> arguments;
        std::uint32_t limitSeconds = 0;
    };

    HookRun RunHook(const std::string& script, const std::vector<std::string>& arguments,
                    std::uint32_t limitSeconds) override {
        calls.push_back({script, arguments, limitSeconds});
        return answer;
    }

    std::vector<Call> calls;
    HookRun answer{true, "", false, 0, ""};
};

} // namespace veltor::test
