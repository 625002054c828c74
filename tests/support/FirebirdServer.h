#pragma once
// The real Firebird server of this machine, as the Firebird tests use it.

#include <string>

namespace veltor::test {

inline constexpr const char* kAdminPassword = "quillbank";

// Fails the calling test with a clear message when the local server does not accept
// SYSDBA through its service manager ("localhost:service_mgr"). Use as
// ASSERT_NO_FATAL_FAILURE(RequireFirebirdServer());
void RequireFirebirdServer();

// Stop and start the local server through its init script (starting it in a UTF-8 locale, as
// scripts/start-firebird does); each waits until the server has gone or answers again (at most
// 20 s) and tells whether it did.
bool StopFirebirdServer();
bool StartFirebirdServer();
// True when the local service manager accepts SYSDBA now.
bool FirebirdServerAnswers();

// Runs an isql-fb script as SYSDBA (the script names or creates its database itself);
// fails the test when isql-fb reports an error. Returns what isql printed.
std::string RunIsql(const std::string& script, const std::string& database = "");

// The old record versions that garbage collection has not yet removed from `table` (a system
// table too), as the server's fbstat reads them from the file at `path`; -1 when fbstat gives
// no count.
long long OldRecordVersions(const std::string& path, const std::string& table);

// Creates an empty dialect-3 database at `path` through the server ("localhost:" + path),
// owned by the server's user.
void CreateDatabase(const std::string& path);

// A client of the server as an administrator runs one: an isql-fb process attached to
// `database`, fed through a pipe. isql begins its transaction when it attaches; it ends it at
// a COMMIT the test sends.
class IsqlSession {
public:
    explicit IsqlSession(const std::string& database);
    ~IsqlSession(); // ends the process if it still runs
    IsqlSession(const IsqlSession&) = delete;
    IsqlSession& operator=(const IsqlSession&) = delete;

    void Send(const std::string& statements);
    // Waits up to `seconds` for `text` in isql's output; true when it came.
    bool WaitFor(const std::string& text, int seconds);
    // Closes isql's input and waits for its end; its exit code (-1 when it did not exit).
    int Finish();
    const std::string& output() const { return output_; }

private:
    int pid_ = -1;
    int input_ = -1;
    int output_fd_ = -1;
    std::string output_;
};

} // namespace veltor::test
