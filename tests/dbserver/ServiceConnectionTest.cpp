#include "dbserver/FirebirdError.h"
#include "dbserver/FirebirdService.h"
#include "dbserver/FirebirdServiceConnection.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

namespace veltor::fb {
namespace {

using ::testing::ElementsAre;
using namespace std::string_literals;

// A service manager that records what it is sent and answers from a script.
struct FakeServiceManager {
    std::vector<std::string> calls;
    std::string attachName;
    std::string attachBlock;
    std::string startBlock;
    std::string queryItems;
    std::vector<const char*> queryBuffers;
    std::deque<std::string> replies;
    // Answers to "is the action still running" (1 = yes); not running once empty.
    std::deque<int> running;
    std::string failing; // the call that returns an error status
};
FakeServiceManager* gFake = nullptr;

constexpr Status kEngineCode = 335544344;

bool Fails(const char* call, Status* status) {
    gFake->calls.push_back(call);
    if (gFake->failing != call) return false;
    status[0] = 1;
    status[1] = kEngineCode;
    status[2] = 0;
    return true;
}

ClientApi FakeApi() {
    ClientApi api{};
    api.service_attach = [](Status* status, unsigned short nameLength, const char* name, Handle* handle,
                            unsigned short blockLength, const char* block) -> Status {
        gFake->attachName.assign(name, nameLength);
        gFake->attachBlock.assign(block, blockLength);
        if (Fails("attach", status)) return status[1];
        *handle = 7;
        return 0;
    };
    api.service_start = [](Status* status, Handle*, std::int32_t*, unsigned short length, const char* block) -> Status {
        gFake->startBlock.assign(block, length);
        return Fails("start", status) ? status[1] : 0;
    };
    api.service_query = [](Status* status, Handle*, std::int32_t*, unsigned short sendLength, const char*,
                           unsigned short requestLength, const char* request, unsigned short bufferLength,
                           char* buffer) -> Status {
        EXPECT_EQ(sendLength, 0);
        if (requestLength == 1 && request[0] == 67) {
            const int running = gFake->running.empty() ? 0 : gFake->running.front();
            if (!gFake->running.empty()) gFake->running.pop_front();
            const char reply[] = {67, static_cast<char>(running), 0, 0, 0, 1};
            std::memcpy(buffer, reply, std::min<std::size_t>(bufferLength, sizeof reply));
            return 0;
        }
        EXPECT_EQ(bufferLength, 32000);
        gFake->queryItems.assign(request, requestLength);
        gFake->queryBuffers.push_back(buffer);
        if (Fails("query", status)) return status[1];
        std::memset(buffer, 0x55, bufferLength);
        const std::string reply = gFake->replies.empty() ? "\x3e\x00\x00\x01"s : gFake->replies.front();
        if (!gFake->replies.empty()) gFake->replies.pop_front();
        std::memcpy(buffer, reply.data(), reply.size());
        return 0;
    };
    api.service_detach = [](Status* status, Handle* handle) -> Status {
        if (Fails("detach", status)) return status[1];
        *handle = 0;
        return 0;
    };
    api.interpret = [](char* buffer, unsigned int size, const Status** cursor) -> std::int32_t {
        if ((*cursor)[0] != 1) return 0;
        *cursor += 2;
        std::strncpy(buffer, "service refused.", size);
        return 16;
    };
    api.sqlcode = [](const Status*) -> std::int32_t { return -902; };
    return api;
}

std::string Line(const std::string& text) {
    return "\x3e"s + static_cast<char>(text.size() & 0xFF) + static_cast<char>(text.size() >> 8) + text + "\x01";
}

// What the program sends: the backup file of a scheduled run and the restore of the cycle.
BackupRequest ProgramBackup() {
    BackupRequest request;
    request.databasePath = "/db/A.GDB";
    request.backupFiles = {"/bk/A.GBK"};
    request.verbose = true;
    return request;
}

RestoreRequest ProgramRestore() {
    RestoreRequest request;
    request.backupFiles = {"/bk/A.GBK"};
    request.databasePaths = {"/db/R.GDB"};
    request.options = RestoreRequest::kReplace | RestoreRequest::kCreate;
    request.verbose = true;
    request.pageSize = 8192;
    return request;
}

template <typename Call> void ExpectFailure(Call call, const std::string& message) {
    try {
        call();
        ADD_FAILURE() << "no failure, expected \"" << message << "\"";
    } catch (const FirebirdError& e) {
        EXPECT_EQ(std::string(e.message()), message);
        EXPECT_EQ(e.sqlCode(), 0);
    }
}

class ServiceConnection : public ::testing::Test {
protected:
    void SetUp() override { gFake = &fake; }
    void TearDown() override { gFake = nullptr; }

    // An attached connection with the program's credentials.
    void AttachTcp(FirebirdServiceConnection& connection) {
        connection.SetServerName("localhost");
        connection.SetParameters({"user_name=SYSDBA", "password=quillbank"});
        connection.Attach();
        fake.calls.clear();
    }

    FakeServiceManager fake;
    ClientApi api = FakeApi();
};

// Blocks and replies --------------------------------------------------------------------

const std::string kProgramAttachmentBlock = "\x02\x02\x1c\x06SYSDBA\x1d\x09quillbank"s;

TEST(ServiceAttachmentBlock, NameSpellingsGiveTheProgramsBlockAndBlankNamesAreSkipped) {
    for (const std::vector<std::string>& parameters :
         {std::vector<std::string>{"user_name=SYSDBA", "password=quillbank"},
          {"USER_NAME=SYSDBA", "Password=quillbank"},
          {"isc_spb_user_name=SYSDBA", "ISC_SPB_PASSWORD=quillbank"},
          {"=x", "  =y", "", "no equals sign", "user_name=SYSDBA", "password=quillbank"}}) {
        EXPECT_EQ(ServiceAttachmentBlock(parameters), kProgramAttachmentBlock);
    }
    EXPECT_EQ(ServiceAttachmentBlock({"password=a=b"}), "\x02\x02\x1d\x03"
                                                        "a=b"s);
}

TEST(ServiceAttachmentBlock, RefusesOtherNamesAndOverlongValues) {
    for (const char* name : {"sys_user_name", "sys_user_name_enc", "password_enc", "command_line", "db_name", "verbose",
                             "options", "connect_timeout", "dummy_packet_interval", "ISC_SPB_SQL_ROLE_NAME"}) {
        SCOPED_TRACE(name);
        ExpectFailure(
            [&] {
                ServiceAttachmentBlock({"user_name=SYSDBA", name + "=x"s});
            },
            "SPB Constant Not supported");
    }
    ExpectFailure([] { ServiceAttachmentBlock({"user=SYSDBA"}); }, "SPB Constant Unknown");
    ExpectFailure([] { ServiceAttachmentBlock({" user_name=SYSDBA"}); }, "SPB Constant Unknown");
    // A value whose length does not fit its length byte is refused, not cut.
    EXPECT_NO_THROW(ServiceAttachmentBlock({"password=" + std::string(255, 'x')}));
    EXPECT_THROW(ServiceAttachmentBlock({"password=" + std::string(256, 'x')}), FirebirdError);
}

TEST(ServiceStartBlock, ProgramsBackupAndRestore) {
    // Options 0 still sent; no blocking factor.
    EXPECT_EQ(BackupStartBlock(ProgramBackup()),
              "\x01\x6a\x09\x00/db/A.GDB\x6c\x00\x00\x00\x00\x6b\x05\x09\x00/bk/A.GBK"s);
    // Options 0x3000, page size 8192, no buffers.
    EXPECT_EQ(RestoreStartBlock(ProgramRestore()),
              "\x02\x6c\x00\x30\x00\x00\x6b\x0a\x00\x20\x00\x00\x05\x09\x00/bk/A.GBK\x6a\x09\x00/db/R.GDB"s);
}

TEST(ServiceStartBlock, OptionalItemsInTheirPlaceAndEmptyPathsLeftOut) {
    BackupRequest backup;
    backup.databasePath = "d";
    backup.backupFiles = {"f1", "", "f2"};
    backup.options = BackupRequest::kIgnoreLimbo | BackupRequest::kConvertExternalTables;
    backup.blockingFactor = 0x0102;
    EXPECT_EQ(BackupStartBlock(backup), "\x01\x6a\x01\x00"
                                        "d\x6c\x42\x00\x00\x00\x06\x02\x01\x00\x00\x05\x02\x00"
                                        "f1\x05\x02\x00"
                                        "f2"s);
    RestoreRequest restore;
    restore.backupFiles = {"", "b"};
    restore.databasePaths = {""};
    restore.pageBuffers = 75;
    EXPECT_EQ(RestoreStartBlock(restore), "\x02\x6c\x00\x00\x00\x00\x09\x4b\x00\x00\x00\x05\x01\x00"
                                          "b"s);
}

ServiceLine Parse(const std::string& reply) {
    return ParseServiceLineReply(reply.data(), reply.size());
}

TEST(ServiceLineReply, TextUpToItsFirstZeroByteAndZeroLengthAtTheEnd) {
    const ServiceLine line = Parse(Line("gbak: writing data\0junk"s) + "trailing");
    EXPECT_FALSE(line.atEnd);
    EXPECT_EQ(line.text, "gbak: writing data");
    EXPECT_EQ(Parse(Line(std::string(300, 'y'))).text, std::string(300, 'y'));
    EXPECT_TRUE(Parse("\x3e\x00\x00\x01"s).atEnd);
}

TEST(ServiceLineReply, OtherShapesAndLengthsPastTheReplyAreRefused) {
    for (const std::string& reply : {""s, "\x3e\x00\x00"s, "\x01\x00\x00\x01"s,
                                     "\x3e\x02\x00"
                                     "ab\x02"s,
                                     "\x3e\x02\x00"
                                     "ab"s,
                                     "\x3e\xff\xff"
                                     "ab\x01"s,
                                     "\x3e\x05\x00"
                                     "ab\x01"s}) {
        SCOPED_TRACE(::testing::PrintToString(reply));
        ExpectFailure([&] { Parse(reply); }, "Unexpected Output buffer value");
    }
}

// The connection -------------------------------------------------------------------------

TEST_F(ServiceConnection, TcpNamesTheServerLocalDoesNotAndTheListIsSentWhenChanged) {
    FirebirdServiceConnection backup(api);
    AttachTcp(backup);
    EXPECT_EQ(fake.attachName, "localhost:service_mgr");
    EXPECT_EQ(fake.attachBlock, kProgramAttachmentBlock);
    backup.Detach();

    FirebirdServiceConnection restore(api);
    restore.SetProtocol(ServiceProtocol::Local);
    restore.SetServerName("dbhost");
    restore.Attach();
    EXPECT_EQ(fake.attachName, "service_mgr");
    EXPECT_EQ(fake.attachBlock, "\x02\x02"s);
    // Attached already: nothing sent. A new list is sent at the next attachment.
    fake.calls.clear();
    restore.Attach();
    EXPECT_TRUE(fake.calls.empty());
    restore.Detach();
    restore.SetParameters({"user_name=OTHER"});
    restore.Attach();
    EXPECT_EQ(fake.attachBlock, "\x02\x02\x1c\x05OTHER"s);
}

TEST_F(ServiceConnection, Utf8NamesAreFlaggedInEveryAttachmentAndTheirPathsSentByteForByte) {
    api.fileNames = FileNameBytes::Utf8;
    FirebirdServiceConnection backup(api);
    AttachTcp(backup);
    EXPECT_EQ(fake.attachBlock, kProgramAttachmentBlock + "\x76\x00"s);
    BackupRequest request = ProgramBackup();
    request.databasePath = "/srv/Compañía/A.FDB"; // 21 bytes, 19 letters
    backup.StartBackup(request);
    EXPECT_EQ(fake.startBlock.substr(0, 25), "\x01\x6a\x15\x00/srv/Compañía/A.FDB"s);
    backup.Detach();

    FirebirdServiceConnection restore(api);
    restore.SetProtocol(ServiceProtocol::Local);
    restore.Attach();
    EXPECT_EQ(fake.attachBlock, "\x02\x02\x76\x00"s);
}

TEST_F(ServiceConnection, ClientSideChecksSendNothing) {
    FirebirdServiceConnection connection(api);
    ExpectFailure([&] { connection.Attach(); }, "Server Name Missing");
    connection.SetServerName("localhost");
    connection.SetParameters({"role=x"});
    ExpectFailure([&] { connection.Attach(); }, "SPB Constant Unknown");
    ExpectFailure([&] { connection.StartBackup(ProgramBackup()); },
                  "Cannot perform operation -- service is not attached");
    ExpectFailure([&] { connection.StartRestore(ProgramRestore()); },
                  "Cannot perform operation -- service is not attached");
    EXPECT_TRUE(fake.calls.empty());

    AttachTcp(connection);
    ExpectFailure([&] { connection.ReadNextLine(); }, "Query Parameters missing or incorrect");
    BackupRequest noDatabase = ProgramBackup();
    noDatabase.databasePath.clear();
    ExpectFailure([&] { connection.StartBackup(noDatabase); }, "start Parameters missing or incorrect");
    ExpectFailure([&] { connection.SetServerName("other"); }, "Cannot perform operation -- service is attached");
    ExpectFailure([&] { connection.SetProtocol(ServiceProtocol::Local); },
                  "Cannot perform operation -- service is attached");
    ExpectFailure([&] { connection.SetParameters({}); }, "Cannot perform operation -- service is attached");
    EXPECT_TRUE(fake.calls.empty());
    EXPECT_TRUE(connection.IsAttached());
    EXPECT_EQ(connection.ServerName(), "localhost");
}

TEST_F(ServiceConnection, ReadsLinesUntilTheEmptyOneAndThenAsksNoMore) {
    FirebirdServiceConnection connection(api);
    AttachTcp(connection);
    connection.StartBackup(ProgramBackup());
    EXPECT_EQ(fake.startBlock, BackupStartBlock(ProgramBackup()));
    fake.replies = {Line("gbak:readied database /db/A.GDB for backup"), Line("gbak:closing file, committing")};

    std::vector<std::string> lines;
    while (!connection.AtEnd())
        lines.push_back(connection.ReadNextLine());
    EXPECT_THAT(lines, ElementsAre("gbak:readied database /db/A.GDB for backup", "gbak:closing file, committing", ""));
    EXPECT_EQ(connection.ReadNextLine(), "");
    EXPECT_THAT(fake.calls, ElementsAre("start", "query", "query", "query"));
    EXPECT_EQ(fake.queryItems, "\x3e");
    // One output buffer for every read.
    EXPECT_THAT(fake.queryBuffers, ElementsAre(fake.queryBuffers[0], fake.queryBuffers[0], fake.queryBuffers[0]));

    // The end survives a detach; the next start reads afresh, and a malformed reply keeps the attachment.
    connection.Detach();
    EXPECT_TRUE(connection.AtEnd());
    connection.Attach();
    connection.StartRestore(ProgramRestore());
    EXPECT_FALSE(connection.AtEnd());
    EXPECT_EQ(fake.startBlock, RestoreStartBlock(ProgramRestore()));
    fake.replies = {"\x3e\x10\x00short\x01"s};
    ExpectFailure([&] { connection.ReadNextLine(); }, "Unexpected Output buffer value");
    EXPECT_TRUE(connection.IsAttached());
}

TEST_F(ServiceConnection, AnEmptyLineWhileTheActionStillRunsIsNotTheEnd) {
    FirebirdServiceConnection connection(api);
    AttachTcp(connection);
    connection.StartRestore(ProgramRestore());
    // The server answers before the action has written anything, and says it runs on.
    fake.replies = {"\x3e\x00\x00\x01"s, Line("gbak:opened file /b/A.GBK")};
    fake.running = {1};
    EXPECT_EQ(connection.ReadNextLine(), "gbak:opened file /b/A.GBK");
    EXPECT_FALSE(connection.AtEnd());
    EXPECT_EQ(connection.ReadNextLine(), "");
    EXPECT_TRUE(connection.AtEnd());
}

TEST_F(ServiceConnection, RefusedAttachmentLeavesItDetachedAndDetachDoesNothing) {
    fake.failing = "attach";
    FirebirdServiceConnection connection(api);
    connection.SetServerName("localhost");
    try {
        connection.Attach();
        ADD_FAILURE() << "attached";
    } catch (const FirebirdError& e) {
        EXPECT_STREQ(e.message(), "service refused");
        EXPECT_EQ(e.sqlCode(), -902);
        EXPECT_EQ(e.engineCode(), kEngineCode);
    }
    EXPECT_FALSE(connection.IsAttached());
    connection.Detach();
    EXPECT_THAT(fake.calls, ElementsAre("attach"));
}

TEST_F(ServiceConnection, ServerErrorAtStartOrReadDetachesTheConnection) {
    for (const char* failing : {"start", "query"}) {
        SCOPED_TRACE(failing);
        fake.failing = failing;
        FirebirdServiceConnection connection(api);
        AttachTcp(connection);
        EXPECT_THROW(
            {
                connection.StartBackup(ProgramBackup());
                connection.ReadNextLine();
            },
            FirebirdError);
        EXPECT_FALSE(connection.IsAttached());
        // The client library's own hold on the attachment is let go at once, and only once.
        EXPECT_EQ(fake.calls.back(), "detach");
        const std::size_t calls = fake.calls.size();
        connection.Detach();
        EXPECT_EQ(fake.calls.size(), calls);
    }
}

TEST_F(ServiceConnection, FailedDetachStillDetachesAndTheDestructorSwallowsIt) {
    fake.failing = "detach";
    {
        FirebirdServiceConnection connection(api);
        AttachTcp(connection);
        EXPECT_THROW(connection.Detach(), FirebirdError);
        EXPECT_FALSE(connection.IsAttached());
        connection.Attach();
    }
    EXPECT_THAT(fake.calls, ElementsAre("detach", "attach", "detach"));
}

// A whole run: started once the start is accepted, every line to the end (the last empty), and
// one detach on every way out; a failed detach after the output is raised, one after another
// failure is swallowed so that the first failure reaches the caller.
TEST_F(ServiceConnection, RunHandsEveryLineOnAndDetachesOnEveryWayOut) {
    FirebirdService service(api);
    service.SetServerName("localhost");
    fake.replies = {Line("gbak:uno"), Line("gbak:dos")};
    std::vector<std::string> seen;
    const ServiceCallbacks record{[&] { seen.push_back("started"); },
                                  [&](const std::string& text) { seen.push_back(text); }};
    service.RunRestore(ProgramRestore(), record);
    EXPECT_THAT(seen, ElementsAre("started", "gbak:uno", "gbak:dos", ""));
    EXPECT_THAT(fake.calls, ElementsAre("attach", "start", "query", "query", "query", "detach"));

    fake.calls.clear();
    fake.failing = "detach";
    EXPECT_THROW(service.RunBackup(ProgramBackup(), {}), FirebirdError);
    EXPECT_THAT(fake.calls, ElementsAre("attach", "start", "query", "detach"));

    fake.calls.clear();
    const ServiceCallbacks refuse{[] { throw std::runtime_error("memo full"); }, nullptr};
    try {
        service.RunBackup(ProgramBackup(), refuse);
        ADD_FAILURE() << "the callback's failure was lost";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "memo full");
    }
    EXPECT_THAT(fake.calls, ElementsAre("attach", "start", "detach"));

    fake.calls.clear();
    fake.failing = "start";
    seen.clear();
    EXPECT_THROW(service.RunBackup(ProgramBackup(), record), FirebirdError);
    EXPECT_THAT(seen, ::testing::IsEmpty());
    EXPECT_THAT(fake.calls, ElementsAre("attach", "start", "detach"));
}

} // namespace
} // namespace veltor::fb
