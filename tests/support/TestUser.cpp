#include "tests/support/TestUser.h"

#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace veltor::test {
namespace {

// Test programs run side by side; the user database takes one change at a time.
int RunLocked(const std::string& command) {
    const int lock = ::open("/tmp/veltor-test-users.lock", O_CREAT | O_RDWR | O_CLOEXEC, 0600);
    if (lock >= 0) ::flock(lock, LOCK_EX);
    const int status = std::system(command.c_str());
    if (lock >= 0) ::close(lock);
    return status;
}

} // namespace

TestUser::TestUser(const std::string& tag) : name_("vt" + tag + std::to_string(::getpid())) {
    RunLocked("userdel " + name_ + " >/dev/null 2>&1; groupdel " + name_ + " >/dev/null 2>&1");
    if (RunLocked("groupadd --system " + name_ +
                  " && useradd --system --no-create-home --shell /usr/sbin/nologin "
                  "--gid " +
                  name_ + " " + name_) != 0)
        throw std::runtime_error("cannot create the test user " + name_);
    const struct passwd* user = ::getpwnam(name_.c_str());
    const struct group* group = ::getgrnam(name_.c_str());
    if (!user || !group) throw std::runtime_error("the test user " + name_ + " is not known");
    uid_ = user->pw_uid;
    gid_ = group->gr_gid;
}

TestUser::~TestUser() {
    RunLocked("userdel " + name_ + " >/dev/null 2>&1; groupdel " + name_ + " >/dev/null 2>&1");
}

bool TestUser::Act(const std::function<bool()>& action) const {
    const pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) {
        const gid_t groups[] = {gid_};
        if (::setgroups(1, groups) != 0 || ::setgid(gid_) != 0 || ::setuid(uid_) != 0) ::_exit(2);
        ::_exit(action() ? 0 : 1);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace veltor::test
