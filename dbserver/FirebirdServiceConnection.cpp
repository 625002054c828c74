#include "dbserver/FirebirdServiceConnection.h"

#include "dbserver/FbConstants.h"
#include "dbserver/FirebirdError.h"
#include "dbserver/InfoReply.h"
#include "dbserver/ParameterBlock.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <thread>
#include <utility>

namespace veltor::fb {
namespace {

constexpr const char* kMalformedReply = "Unexpected Output buffer value";

// Names of service attachment items that this connection does not send.
constexpr std::array<std::string_view, 10> kUnsupportedNames = {
    "sys_user_name", "sys_user_name_enc", "password_enc",    "command_line",          "db_name",
    "verbose",       "options",           "connect_timeout", "dummy_packet_interval", "sql_role_name"};

bool IsBlank(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isspace(c) != 0; });
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

// A block whose text would not fit its length field is refused rather than cut.
template <typename Build> std::string Checked(Build build) {
    try {
        return build();
    } catch (const std::length_error& e) {
        throw FirebirdError(e.what());
    }
}

void AddPaths(ParameterBlock& block, std::uint8_t tag, const std::vector<std::string>& paths) {
    for (const std::string& path : paths)
        if (!path.empty()) block.String2(tag, path);
}

unsigned short BlockLength(const std::string& block) {
    if (block.size() > std::numeric_limits<unsigned short>::max())
        throw FirebirdError("parameter block longer than 65535 bytes");
    return static_cast<unsigned short>(block.size());
}

} // namespace

std::string ServiceAttachmentName(ServiceProtocol protocol, const std::string& serverName) {
    return protocol == ServiceProtocol::Local ? std::string("service_mgr") : serverName + ":service_mgr";
}

std::string ServiceAttachmentBlock(const std::vector<std::string>& parameters, FileNameBytes names) {
    return Checked([&] {
        ParameterBlock block;
        block.Byte(spb::kVersion).Byte(spb::kCurrentVersion);
        for (const std::string& line : parameters) {
            // A line without "=" has no name.
            const std::size_t equals = line.find('=');
            if (equals == std::string::npos || IsBlank(std::string_view(line).substr(0, equals))) continue;
            std::string name = Lower(std::string_view(line).substr(0, equals));
            if (name.starts_with("isc_spb_")) name.erase(0, 8);
            const std::string_view value = std::string_view(line).substr(equals + 1);
            if (name == "user_name") {
                block.String1(spb::kUserName, value);
            } else if (name == "password") {
                block.String1(spb::kPassword, value);
            } else if (std::find(kUnsupportedNames.begin(), kUnsupportedNames.end(), name) != kUnsupportedNames.end()) {
                throw FirebirdError("SPB Constant Not supported");
            } else {
                throw FirebirdError("SPB Constant Unknown");
            }
        }
        if (names == FileNameBytes::Utf8) block.Flag1(spb::kUtf8FileName);
        return block.bytes();
    });
}

std::string BackupStartBlock(const BackupRequest& request) {
    return Checked([&] {
        ParameterBlock block;
        block.Byte(spb::kActionBackup);
        if (!request.databasePath.empty()) block.String2(spb::kDatabaseName, request.databasePath);
        block.Int4(spb::kOptions, request.options);
        if (request.verbose) block.Byte(spb::kVerbose);
        if (request.blockingFactor > 0)
            block.Int4(spb::kBackupFactor, static_cast<std::uint32_t>(request.blockingFactor));
        AddPaths(block, spb::kBackupFile, request.backupFiles);
        return block.bytes();
    });
}

std::string RestoreStartBlock(const RestoreRequest& request) {
    return Checked([&] {
        ParameterBlock block;
        block.Byte(spb::kActionRestore);
        block.Int4(spb::kOptions, request.options);
        if (request.verbose) block.Byte(spb::kVerbose);
        if (request.pageSize > 0) block.Int4(spb::kRestorePageSize, static_cast<std::uint32_t>(request.pageSize));
        if (request.pageBuffers > 0) block.Int4(spb::kRestoreBuffers, static_cast<std::uint32_t>(request.pageBuffers));
        AddPaths(block, spb::kBackupFile, request.backupFiles);
        AddPaths(block, spb::kDatabaseName, request.databasePaths);
        return block.bytes();
    });
}

ServiceLine ParseServiceLineReply(const char* reply, std::size_t size) {
    // the line item, then the end item
    InfoReply answer(reply, size);
    const std::optional<std::string_view> text = answer.Item(info::kServiceLine);
    if (!text || !answer.AtEnd()) throw FirebirdError(kMalformedReply);
    ServiceLine line;
    if (text->empty()) {
        line.atEnd = true;
        return line;
    }
    line.text = std::string(text->substr(0, text->find('\0')));
    return line;
}

FirebirdServiceConnection::FirebirdServiceConnection(const ClientApi& api) : api_(api) {}

FirebirdServiceConnection::~FirebirdServiceConnection() {
    try {
        Detach();
    } catch (...) {
    }
}

void FirebirdServiceConnection::RequireDetached() const {
    if (IsAttached()) throw FirebirdError("Cannot perform operation -- service is attached");
}

void FirebirdServiceConnection::SetServerName(const std::string& serverName) {
    RequireDetached();
    serverName_ = serverName;
}

void FirebirdServiceConnection::SetProtocol(ServiceProtocol protocol) {
    RequireDetached();
    protocol_ = protocol;
}

void FirebirdServiceConnection::SetParameters(const std::vector<std::string>& parameters) {
    RequireDetached();
    if (parameters != parameters_) attachmentBlockStale_ = true;
    parameters_ = parameters;
}

void FirebirdServiceConnection::FailAndDrop(const Status* status) {
    FirebirdError error = ErrorFromStatus(api_, status);
    // The client library still holds the attachment after a failed start or query; let it go
    // so that neither its memory nor its connection to the server outlives the failure.
    if (handle_ != 0) {
        Status ignored[kStatusLength] = {};
        Handle handle = handle_;
        api_.service_detach(ignored, &handle);
    }
    handle_ = 0;
    throw error;
}

void FirebirdServiceConnection::Attach() {
    if (IsAttached()) return;
    if (protocol_ == ServiceProtocol::Tcp && serverName_.empty()) throw FirebirdError("Server Name Missing");
    if (attachmentBlockStale_) {
        attachmentBlock_ = ServiceAttachmentBlock(parameters_, api_.fileNames);
        attachmentBlockStale_ = false;
    }
    const std::string name = ServiceAttachmentName(protocol_, serverName_);
    if (name.size() > std::numeric_limits<unsigned short>::max()) throw FirebirdError("Server Name too long");
    Status status[kStatusLength] = {};
    Handle handle = 0;
    api_.service_attach(status, static_cast<unsigned short>(name.size()), name.data(), &handle,
                        BlockLength(attachmentBlock_), attachmentBlock_.data());
    if (IsError(status)) {
        handle_ = 0;
        throw ErrorFromStatus(api_, status);
    }
    handle_ = handle;
}

void FirebirdServiceConnection::Start(Action action, const std::string& block) {
    action_ = action;
    atEnd_ = false;
    Status status[kStatusLength] = {};
    api_.service_start(status, &handle_, nullptr, BlockLength(block), block.data());
    if (IsError(status)) FailAndDrop(status);
}

void FirebirdServiceConnection::StartBackup(const BackupRequest& request) {
    if (!IsAttached()) throw FirebirdError("Cannot perform operation -- service is not attached");
    if (request.databasePath.empty()) throw FirebirdError("start Parameters missing or incorrect");
    Start(Action::Backup, BackupStartBlock(request));
}

void FirebirdServiceConnection::StartRestore(const RestoreRequest& request) {
    if (!IsAttached()) throw FirebirdError("Cannot perform operation -- service is not attached");
    Start(Action::Restore, RestoreStartBlock(request));
}

std::string FirebirdServiceConnection::ReadNextLine() {
    if (atEnd_) return {};
    if (action_ == Action::None) throw FirebirdError("Query Parameters missing or incorrect");
    if (!output_) output_ = std::make_unique<char[]>(kOutputBufferSize);
    for (;;) {
        const char request = info::kServiceLine;
        Status status[kStatusLength] = {};
        api_.service_query(status, &handle_, nullptr, 0, nullptr, 1, &request,
                           static_cast<unsigned short>(kOutputBufferSize), output_.get());
        if (IsError(status)) FailAndDrop(status);
        ServiceLine line = ParseServiceLineReply(output_.get(), kOutputBufferSize);
        if (!line.atEnd) return std::move(line.text);
        // An empty line can also come before an action has written anything; the output has
        // ended only once the action no longer runs. Callers would otherwise go on (and swap in
        // a restored database) while the server is still writing it.
        if (!ActionRunning()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    atEnd_ = true;
    return {};
}

bool FirebirdServiceConnection::ActionRunning() {
    const char request = info::kServiceRunning;
    char reply[16] = {};
    Status status[kStatusLength] = {};
    api_.service_query(status, &handle_, nullptr, 0, nullptr, 1, &request, sizeof reply, reply);
    // A server that cannot tell is taken at its word that the output ended.
    if (IsError(status)) return false;
    InfoReply answer(reply, sizeof reply);
    const std::optional<std::uint64_t> running = answer.FixedItem(info::kServiceRunning, 4);
    return running && *running != 0;
}

void FirebirdServiceConnection::Detach() {
    if (!IsAttached()) return;
    Status status[kStatusLength] = {};
    Handle handle = handle_;
    handle_ = 0;
    api_.service_detach(status, &handle);
    if (IsError(status)) throw ErrorFromStatus(api_, status);
}

} // namespace veltor::fb
