#pragma once
// The console program as a Windows service: its installation and removal in the service
// control manager, and its run under it. The service runs the program with its timers in the
// data folder (the folder of ADMINBD.inf); a stop waits for the run in progress, reporting
// "stop pending" with a rising check point meanwhile.

#include "platform/console/ConsoleApplication.h"
#include "platform/win32/Win32Files.h"
#include "ports/EventLog.h"

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace veltor::win32 {

inline constexpr const char* kServiceName = "VeltorBackups";
inline constexpr const char* kServiceDisplayName = "Veltor Backups";
// The service's own output (memo lines and error boxes) in the data folder; it starts again
// when it passes kServiceOutputLimit bytes. The month log stays the record.
inline constexpr const char* kServiceOutputFile = "veltor-backups-service.txt";
inline constexpr long kServiceOutputLimit = 1L << 20;

// The service's output file, opened with CreateFile for appending and shared with every other
// opener (a reader may hold it while it is written, started again or removed). Past `limit`
// bytes it starts again empty. When it cannot be opened or started again, the texts go nowhere
// until a later write can start it again: never into a closed file.
class ServiceOutput {
public:
    explicit ServiceOutput(std::string path, long limit = kServiceOutputLimit);
    ServiceOutput(const ServiceOutput&) = delete;
    ServiceOutput& operator=(const ServiceOutput&) = delete;
    bool IsOpen() const { return file_.valid(); }
    const std::string& Path() const { return path_; }
    void Write(const std::string& text);

private:
    std::string path_;
    long limit_;
    Handle file_;
};

enum class ServiceCommand {
    None,    // an ordinary start
    Install, // --install-service
    Remove,  // --remove-service
    Run,     // --service <data folder>: started by the service control manager
    Protect, // --protect-data-folder: the installer's, on the current folder
};

// The first of the service options among the arguments.
ServiceCommand ServiceCommandOf(const std::vector<std::string>& arguments);

// The program as the service runs it: the arguments (the options given to the service's start
// and the elevation switch), where stop requests come from, and the stream and writer for
// its texts, and the Application event log, where the service writes its start and stop and
// the program its fatal error and its runs that leave companies not done. Returns the
// program's exit code.
using ServiceProgram = std::function<int(const std::vector<std::string>& arguments, console::IStopRequests& stops,
                                         std::FILE* output, console::TextWriter write, IEventLog& events)>;

// The command line the service is created with, for the executable and the data folder.
std::string ServiceCommandLine(const std::string& program, const std::string& dataFolder);

// Creates the service, or updates an existing one: automatic start, local system account, no
// dependency on any other service (the backup-restore cycle stops the database server's
// service together with every service that depends on it), this executable in the current
// folder, which must hold ADMINBD.inf or ADMINBD.cop, after giving that folder its protected
// access list when it is less protected; restarts after failures; its event source in the
// Application event log. Writes one line (two when the list was rewritten, and one for each
// setting that could not be made, which leaves the service installed); returns the exit code.
// The service restarts kRestartDelayMilliseconds after a crash or an end with a non-zero exit
// code, as the Linux unit does (Restart=on-failure, RestartSec=60s); the failures are counted
// from zero again after kFailureResetSeconds.
inline constexpr unsigned long kRestartDelayMilliseconds = 60'000;
inline constexpr unsigned long kFailureResetSeconds = 86'400;
int InstallService(std::FILE* out, std::FILE* err, console::TextWriter write);

// Stops the service, waiting for a run in progress up to kRemoveStopWait, and deletes it with
// its event source. Not installed counts as done. Writes what it did; returns the exit code.
inline constexpr unsigned long kRemoveStopWaitMilliseconds = 300'000;
int RemoveService(std::FILE* out, std::FILE* err, console::TextWriter write);

// Hands the process to the service control manager and runs `program` as the service; returns
// when the service has stopped. The arguments are those of the process, "--service" and the
// data folder among them.
int RunAsService(const std::vector<std::string>& arguments, ServiceProgram program, std::FILE* err,
                 console::TextWriter write);

// The console program's hook: runs the service command the arguments ask for and gives its
// exit code, or nothing for an ordinary start.
std::optional<int> RunServiceCommand(const std::vector<std::string>& arguments, ServiceProgram program,
                                     console::TextWriter write);

} // namespace veltor::win32
