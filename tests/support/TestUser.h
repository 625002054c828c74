#pragma once
// A user and a group of the test's own, made with groupadd and useradd (the tests run as root)
// and removed again, for tests that act as another user would: the database server's user
// writing into the backup folder, somebody who owns the installation folder.

#include <functional>
#include <string>
#include <sys/types.h>

namespace veltor::test {

class TestUser {
public:
    // The group and the user are both named "vt<tag><process id>"; the user is a member of it.
    explicit TestUser(const std::string& tag);
    ~TestUser();
    TestUser(const TestUser&) = delete;
    TestUser& operator=(const TestUser&) = delete;

    const std::string& name() const { return name_; }
    uid_t uid() const { return uid_; }
    gid_t gid() const { return gid_; }

    // Runs `action` in a child process that has become this user, with its group as its only
    // group; true when the action returned true there.
    bool Act(const std::function<bool()>& action) const;

private:
    std::string name_;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
};

} // namespace veltor::test
