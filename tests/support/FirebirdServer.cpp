#include "tests/support/FirebirdServer.h"

#include "dbserver/FbClientApi.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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
    if (std::system("/etc/init.d/firebird3.0 start >/dev/null 2>&1") != 0) return false;
    return WaitUntil(true);
}

void RequireFirebirdServer() {
    const char* why = nullptr;
    ASSERT_NE(fb::LoadClientApi(&why), nullptr) << "Firebird client library unavailable: " << (why ? why : "?");
    ASSERT_TRUE(FirebirdServerAnswers())
        << "The Firebird server on localhost does not accept SYSDBA through its service manager. Start it with "
           "scripts/start-firebird.";
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
    std::string command = "isql-fb -q -user SYSDBA -password " + std::string(kAdminPassword);
    if (!database.empty()) command += " '" + database + "'";
    command += " -i " + std::string(name) + " 2>&1";
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        std::array<char, 4096> buffer{};
        size_t n;
        while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
            output.append(buffer.data(), n);
        const int rc = pclose(pipe);
        EXPECT_EQ(rc, 0) << "isql-fb failed:\n" << output << "\nscript:\n" << script;
    } else {
        ADD_FAILURE() << "cannot run isql-fb";
    }
    std::filesystem::remove(name);
    return output;
}

void CreateDatabase(const std::string& path) {
    RunIsql("CREATE DATABASE 'localhost:" + path + "' USER 'SYSDBA' PASSWORD '" + kAdminPassword + "' PAGE_SIZE 8192;");
}

} // namespace veltor::test
