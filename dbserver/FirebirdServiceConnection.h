#pragma once
// A connection to the Firebird service manager that runs one backup or restore on the
// server and hands its verbose output back line by line: the states below FirebirdService,
// which runs a whole action on them.
//
//   FirebirdServiceConnection backup(api);
//   backup.SetServerName("localhost");
//   backup.SetParameters({"user_name=SYSDBA", "password=..."});
//   backup.Attach();
//   backup.StartBackup(request);
//   while (!backup.AtEnd()) Show(backup.ReadNextLine());
//   backup.Detach();
//
// Every failure is raised as FirebirdError: the checks made here carry their own message
// and SQL code 0, an error status of the client library carries the texts of its status
// vector. Nothing is logged here.

#include "dbserver/FbClientApi.h"
#include "ports/FirebirdService.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace veltor::fb {

// The blocks and the reply, as pure functions.

// "service_mgr" for Local, "<server name>:service_mgr" for TCP.
std::string ServiceAttachmentName(ServiceProtocol protocol, const std::string& serverName);

// The attachment block of a parameter list ("name=value" lines). A name is compared in
// lower case without a leading "isc_spb_"; lines with a blank name are skipped. Raises
// "SPB Constant Not supported" or "SPB Constant Unknown" for any name but "user_name" and
// "password", and refuses a value longer than its one-byte length can say. With UTF-8 names
// the block ends in isc_spb_utf8_filename: the paths of every start block on that attachment
// then reach the server as they are, not read through this process's locale.
std::string ServiceAttachmentBlock(const std::vector<std::string>& parameters,
                                   FileNameBytes names = FileNameBytes::SystemCodePage);

// The start blocks. Neither checks the request beyond the lengths of its texts.
std::string BackupStartBlock(const BackupRequest& request);
std::string RestoreStartBlock(const RestoreRequest& request);

// One output line read back with isc_info_svc_line.
struct ServiceLine {
    bool atEnd = false; // the action has no more output
    std::string text;   // without line end; empty at the end
};

// Reads a reply to the isc_info_svc_line query: the item, a two-byte little-endian length,
// the text (kept up to its first zero byte) and isc_info_end. Any other shape, a length
// that runs past the reply included, raises "Unexpected Output buffer value".
ServiceLine ParseServiceLineReply(const char* reply, std::size_t size);

class FirebirdServiceConnection {
public:
    static constexpr std::size_t kOutputBufferSize = 32000;

    // `api` must outlive the connection.
    explicit FirebirdServiceConnection(const ClientApi& api);
    // Detaches when still attached; a failure to detach is swallowed.
    ~FirebirdServiceConnection();
    FirebirdServiceConnection(const FirebirdServiceConnection&) = delete;
    FirebirdServiceConnection& operator=(const FirebirdServiceConnection&) = delete;

    // The settings can change only while detached ("Cannot perform operation -- service is
    // attached" otherwise).
    void SetServerName(const std::string& serverName);
    void SetProtocol(ServiceProtocol protocol);
    void SetParameters(const std::vector<std::string>& parameters);
    const std::string& ServerName() const { return serverName_; }
    ServiceProtocol Protocol() const { return protocol_; }
    const std::vector<std::string>& Parameters() const { return parameters_; }

    bool IsAttached() const { return handle_ != 0; }

    // Attaches to the service manager; does nothing when attached. Raises "Server Name
    // Missing" for TCP without a server name, the checks of the parameter list, or the
    // server's refusal (the connection then stays detached).
    void Attach();

    // Starts a backup and returns once the server has accepted it. Raises "Cannot perform
    // operation -- service is not attached" or, for an empty database path, "start
    // Parameters missing or incorrect", sending nothing. An error status of the server
    // leaves the connection detached.
    void StartBackup(const BackupRequest& request);

    // Starts a restore and returns once the server has accepted it; same failures as a
    // backup, without the path check (empty lists simply send no item). The restore runs in
    // the process that attached: through the Local protocol that is this process's own
    // embedded engine, so a database file it creates belongs to this process's user (on
    // Linux with mode 0660), not to the server's user; the server cannot open that file
    // until its owner is changed.
    void StartRestore(const RestoreRequest& request);

    // The next output line of the current action; an empty text once the action has ended,
    // which also sets AtEnd. After AtEnd nothing more is sent. Raises "Query Parameters
    // missing or incorrect" before any start, "Unexpected Output buffer value" for a reply
    // of another shape, or the server's failure (the connection then is detached; a failed
    // backup surfaces here).
    std::string ReadNextLine();
    bool AtEnd() const { return atEnd_; }

    // Releases the attachment; does nothing when detached. The connection is detached
    // afterwards even when the call reports an error, which is then raised.
    void Detach();

private:
    enum class Action { None, Backup, Restore };

    void Start(Action action, const std::string& block);
    void RequireDetached() const;
    // Whether the started action still runs on the server (isc_info_svc_running).
    bool ActionRunning();
    // Raises the failure of `status`, after letting go of the handle.
    [[noreturn]] void FailAndDrop(const Status* status);

    const ClientApi& api_;
    std::string serverName_;
    ServiceProtocol protocol_ = ServiceProtocol::Tcp;
    std::vector<std::string> parameters_;
    std::string attachmentBlock_;
    bool attachmentBlockStale_ = true;
    Handle handle_ = 0;
    Action action_ = Action::None;
    bool atEnd_ = false;
    std::unique_ptr<char[]> output_; // kOutputBufferSize bytes from the first read on
};

} // namespace veltor::fb
