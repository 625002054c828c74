#include "tests/support/FirebirdServer.h"

#include "dbserver/FbClientApi.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace veltor::test {

bool FirebirdServerAnswers() {
    const fb::ClientApi* api = fb::LoadClientApi(nullptr);
    if (!api) return false;
    std::string spb = {2, 2, 28, 6};
    spb += "SYSDBA";
    spb += static_cast<char>(29);
    spb += static_cast<char>(std::string(kAdminPassword).size());
    spb += kAdminPassword;
    fb::Status status[fb::kStatusLength] = {};
    fb::Handle handle = 0;
    const std::string name = "localhost:service_mgr";
    api->service_attach(status, static_cast<unsigned short>(name.size()), name.c_str(), &handle,
                        static_cast<unsigned short>(spb.size()), spb.data());
    if (status[0] == 1 && status[1] != 0) return false;
    api->service_detach(status, &handle);
    return true;
}

namespace {
bool WaitUntil(bool answering) {
    for (int i = 0; i < 200; ++i) {
        if (FirebirdServerAnswers() == answering) return true;
        usleep(100 * 1000);
    }
    return false;
}
} // namespace

bool StopFirebirdServer() {
    if (std::system("/etc/init.d/firebird3.0 stop >/dev/null 2>&1") != 0) return false;
    return WaitUntil(false);
}

bool StartFirebirdServer() {
    // In the locale scripts/start-firebird gives it: the server refuses names beyond ASCII in C.
    if (std::system("LC_ALL=C.UTF-8 /etc/init.d/firebird3.0 start >/dev/null 2>&1") != 0) return false;
    return WaitUntil(true);
}

void RequireFirebirdServer() {
    const char* why = nullptr;
    ASSERT_NE(fb::LoadClientApi(&why), nullptr) << "Firebird client library unavailable: " << (why ? why : "?");
    ASSERT_TRUE(FirebirdServerAnswers())
        << "The Firebird server on localhost does not accept SYSDBA through its service manager. Start it with "
           "scripts/start-firebird.";
}

std::string CommandOutput(const std::string& command, int& rc) {
    std::string output;
    rc = -1;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        std::array<char, 4096> buffer{};
        size_t n;
        while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
            output.append(buffer.data(), n);
        rc = pclose(pipe);
    }
    return output;
}

std::string RunIsql(const std::string& script, const std::string& database) {
    char name[] = "/tmp/veltor-isql-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) {
        ADD_FAILURE() << "cannot create a temporary file";
        return {};
    }
    close(fd);
    {
        std::ofstream out(name);
        out << "SET BAIL ON;\n" << script << "\n";
    }
    // isql reads the database's name in its locale; the tests' names may go beyond ASCII.
    std::string command = "LC_ALL=C.UTF-8 isql-fb -q -user SYSDBA -password " + std::string(kAdminPassword);
    if (!database.empty()) command += " '" + database + "'";
    command += " -i " + std::string(name) + " 2>&1";
    int rc = 0;
    const std::string output = CommandOutput(command, rc);
    EXPECT_EQ(rc, 0) << "isql-fb failed:\n" << output << "\nscript:\n" << script;
    std::filesystem::remove(name);
    return output;
}

void MakeReadOnly(const std::string& path) {
    int rc = 0;
    const std::string output =
        CommandOutput("LC_ALL=C.UTF-8 gfix -user SYSDBA -password " + std::string(kAdminPassword) +
                          " -mode read_only 'localhost:" + path + "' 2>&1",
                      rc);
    EXPECT_EQ(rc, 0) << "gfix failed:\n" << output;
}

long long OldRecordVersions(const std::string& path, const std::string& table) {
    int rc = 0;
    const std::string output = CommandOutput("LC_ALL=C.UTF-8 fbstat -r -s -t '" + table + "' '" + path + "' 2>&1", rc);
    const std::string key = "total versions: ";
    const std::size_t at = output.find(key);
    if (at == std::string::npos) return -1;
    return std::atoll(output.c_str() + at + key.size());
}

namespace {
// What a server tool printed; fails the test when it did not end with 0.
std::string ToolOutput(const std::string& command) {
    int rc = 0;
    const std::string output = CommandOutput("LC_ALL=C.UTF-8 " + command + " 2>&1", rc);
    EXPECT_EQ(rc, 0) << command << ":\n" << output;
    return output;
}
const std::string kToolLogin = std::string(" -user SYSDBA -password ") + kAdminPassword;
} // namespace

std::string HeaderPage(const std::string& path) {
    return ToolOutput("fbstat -h '" + path + "'");
}

std::string ExtractedMetadata(const std::string& database) {
    return ToolOutput("isql-fb -x" + kToolLogin + " '" + database + "'");
}

void RunGfix(const std::string& options, const std::string& database) {
    ToolOutput("gfix" + kToolLogin + " " + options + " '" + database + "'");
}

void CreateDatabase(const std::string& path) {
    RunIsql("CREATE DATABASE 'localhost:" + path + "' USER 'SYSDBA' PASSWORD '" + kAdminPassword + "' PAGE_SIZE 8192;");
}

IsqlSession::IsqlSession(const std::string& database) {
    int in[2];
    int out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) {
        ADD_FAILURE() << "cannot make the pipes of isql-fb";
        return;
    }
    pid_ = fork();
    if (pid_ == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(out[1], 2);
        ::close(in[1]);
        ::close(out[0]);
        ::execlp("isql-fb", "isql-fb", "-q", "-user", "SYSDBA", "-password", kAdminPassword, database.c_str(),
                 static_cast<char*>(nullptr));
        _exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    input_ = in[1];
    output_fd_ = out[0];
    ::fcntl(output_fd_, F_SETFL, O_NONBLOCK);
}

IsqlSession::~IsqlSession() {
    if (input_ >= 0) ::close(input_);
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (output_fd_ >= 0) ::close(output_fd_);
}

void IsqlSession::Send(const std::string& statements) {
    if (input_ < 0) return;
    const ssize_t written = ::write(input_, statements.data(), statements.size());
    EXPECT_EQ(written, static_cast<ssize_t>(statements.size()));
}

bool IsqlSession::WaitFor(const std::string& text, int seconds) {
    for (int i = 0; i <= seconds * 20; ++i) {
        char buffer[4096];
        for (ssize_t n; (n = ::read(output_fd_, buffer, sizeof buffer)) > 0;)
            output_.append(buffer, static_cast<std::size_t>(n));
        if (output_.find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

int IsqlSession::Finish() {
    if (input_ >= 0) ::close(input_);
    input_ = -1;
    int status = 0;
    if (pid_ <= 0 || ::waitpid(pid_, &status, 0) != pid_) return -1;
    pid_ = -1;
    WaitFor("", 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace veltor::test
