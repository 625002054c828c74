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
    // 0 while the unit runs (init scripts; systemctl) and not 0 otherwise.
    std::string serviceCommand = "/usr/sbin/service";
    // Folders where a unit is looked for, as an init script <unit> or a unit file <unit>.service.
    std::vector<std::string> unitFolders = {"/etc/init.d", "/etc/systemd/system", "/lib/systemd/system",
                                            "/usr/lib/systemd/system"};
    // Windows service names (compared without regard to case) and the units that may stand for
    // each, in order of preference; the first one installed is taken.
    std::map<std::string, std::vector<std::string>> services = {
        {"FirebirdGuardianDefaultInstance",
         {"firebird3.0", "firebird4.0", "firebird5.0", "firebird", "firebird-superserver", "firebird-superclassic",
          "firebird-classic"}}};
    // Whether this process may stop and start units; by default, whether it runs as root.
    bool privileged;
    // The wait hint reported while a start or stop is under way.
    std::uint32_t pendingWaitHint = 250;

    LinuxServiceOptions();
};

// Starts and stops return at once; while the `service` process they spawned runs, the unit
// reports START_PENDING or STOP_PENDING with a rising check point, and afterwards `service
// <unit> status` tells running (4) from stopped (1). Only "localhost" (in any case), an empty
// name or none names this machine; any other machine fails with 1722 (RPC server unavailable).
// A unit has no dependents here: the init system stops those itself. Every process spawned is
// reaped, at the latest when the manager goes.
std::unique_ptr<IServiceManager> MakeLinuxServiceManager(LinuxServiceOptions options = {});

} // namespace veltor::posix
