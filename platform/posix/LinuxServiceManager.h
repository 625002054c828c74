#pragma once
// The service control manager on Linux: the database server's Windows service name stands for
// the server's unit on this machine, driven through the system's `service` command (systemd
// where that is the init system, the unit's init script otherwise).

#include "ports/ServiceManager.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace veltor::posix {

struct LinuxServiceOptions {
    // Run without a shell as: <serviceCommand> <unit> start|stop|status. Its status exit code is
    // 0 while the unit runs and 3 when it is stopped (init scripts and systemctl alike); an init
    // script may also answer 1 for a stopped unit whose pid file stayed behind. Any other code
    // says nothing sure, and the query fails.
    std::string serviceCommand = "/usr/sbin/service";
    // Where init scripts lie, and where systemd's unit files (<unit>.service) lie.
    std::string initScriptFolder = "/etc/init.d";
    std::vector<std::string> unitFileFolders = {"/etc/systemd/system", "/run/systemd/system", "/lib/systemd/system",
                                                "/usr/lib/systemd/system"};
    // A folder that exists when systemd is the init system in use (as sd_booted(3) tells).
    std::string systemdMarker = "/run/systemd/system";
    // Windows service names (compared without regard to case) and the units that may stand for
    // each, in order of preference. A unit counts when the init system in use knows it: under
    // systemd a unit file or an init script (systemd runs those too), otherwise an executable
    // init script. When several count, the first one running is taken (an init script that a
    // removed package left behind is never taken while another server runs), else the first.
    std::map<std::string, std::vector<std::string>> services = {
        {"FirebirdGuardianDefaultInstance",
         {"firebird3.0", "firebird4.0", "firebird5.0", "firebird", "firebird-superserver", "firebird-superclassic",
          "firebird-classic"}}};
    // Whether this process may stop and start units; by default, whether it runs as root.
    bool privileged;
    // The wait hint reported while a start or stop is under way.
    std::uint32_t pendingWaitHint = 50;
    // How long, in milliseconds, a state read by QueryStatus stands for the unit's state when a
    // start or stop follows (0: each start and stop reads the state again).
    std::uint32_t statusReuseMs = 250;

    LinuxServiceOptions();
};

// Starts and stops return at once; while the `service` process they spawned runs, the unit
// reports START_PENDING or STOP_PENDING with a rising check point, and afterwards `service
// <unit> status` tells running (4) from stopped (1). This machine is named by none or an empty
// name, "localhost", "127.0.0.1", "::1" or its own host name (whole or up to its first dot,
// in any case), as the Windows manager takes them; any other machine fails with 1722 (RPC
// server unavailable).
// A unit has no dependents here: the init system stops those itself. Every process spawned is
// reaped, at the latest when the manager goes.
std::unique_ptr<IServiceManager> MakeLinuxServiceManager(LinuxServiceOptions options = {});

} // namespace veltor::posix
