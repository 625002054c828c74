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

// What a shell command printed on standard output; `rc` gets its wait status, -1 when it could
// not be started.
std::string CommandOutput(const std::string& command, int& rc);

// Runs an isql-fb script as SYSDBA (the script names or creates its database itself);
// fails the test when isql-fb reports an error. Returns what isql printed.
std::string RunIsql(const std::string& script, const std::string& database = "");

// The old record versions that garbage collection has not yet removed from `table` (a system
// table too), as the server's fbstat reads them from the file at `path`; -1 when fbstat gives
// no count.
long long OldRecordVersions(const std::string& path, const std::string& table);

// Makes the database at `path` read-only through the server, as `gfix -mode read_only` does
// for a closed year; fails the test when gfix reports an error.
void MakeReadOnly(const std::string& path);
// What the server's tools print of a database: fbstat's header page of the file at `path`
// (fbstat -h), and its metadata as isql extracts it from `database` (isql -x). Each fails the
// test when the tool reports an error.
std::string HeaderPage(const std::string& path);
std::string ExtractedMetadata(const std::string& database);
// Runs gfix as SYSDBA with `options` ("-write async") on `database`; fails the test when gfix
// reports an error.
void RunGfix(const std::string& options, const std::string& database);

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
