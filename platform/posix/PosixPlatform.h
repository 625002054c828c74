#pragma once
// The POSIX adapters of the file-system, clock, regional-format and version ports, and the
// configuration rules of Linux.

#include "config/Global.h"
#include "ports/Clock.h"
#include "ports/FileSystem.h"
#include "ports/OsVersion.h"
#include "ports/RegionalFormats.h"

#include <ctime>
#include <locale.h>
#include <string>

namespace veltor::posix {

// Files through open/read/write. A file opened for appending holds an exclusive flock, so a
// second writer, in this process or another one that asks for the lock, is refused. Files are
// opened with O_NOFOLLOW (but the installation's files read with Links::Follow) and checked
// through their descriptor to be regular files; new files are made with O_EXCL.
class PosixFileSystem final : public IFileSystem {
public:
    PosixFileSystem() = default;
    // Folders this object creates belong to `serverGroup` with mode 2770, so that the database
    // server, which runs as a member of that group, can write the backup files into them while
    // other users cannot read them; the group and mode are set through the opened folder, never
    // through a link put in its place. An empty name, or a group unknown here, leaves new
    // folders as mkdir makes them.
    explicit PosixFileSystem(std::string serverGroup) : serverGroup_(std::move(serverGroup)) {}

    bool FileExists(const std::string& path) const override;
    bool DirectoryExists(const std::string& path) const override;
    void CreateDirectory(const std::string& path) override;
    bool CopyFileNoOverwrite(const std::string& from, const std::string& to) override;
    std::unique_ptr<IInputFile> OpenForReading(const std::string& path, Links links = Links::Refuse) override;
    std::unique_ptr<IAppendFile> OpenForAppend(const std::string& path) override;
    std::unique_ptr<IAppendFile> CreateNew(const std::string& path) override;
    void PublishFile(const std::string& from, const std::string& to, Existing existing) override;
    bool RemoveFile(const std::string& path) override;
    std::vector<std::string> ListFiles(const std::string& folder) const override;
    std::uint64_t FileSize(const std::string& path) const override;
    std::unique_ptr<IFileLock> TryLockFile(const std::string& path) override;
    char PathSeparator() const override { return '/'; }

private:
    std::string serverGroup_;
};

// The group the Debian Firebird server runs in.
inline constexpr const char* kDatabaseServerGroup = "firebird";

// A moment of the system's clock in the local time zone.
LocalDateTime LocalDateTimeOf(std::time_t moment);

// localtime, a millisecond tick of CLOCK_MONOTONIC cut to 32 bits, nanosleep.
class PosixClock final : public IClock {
public:
    LocalDateTime Now() const override;
    std::uint32_t TickCount() const override;
    void Sleep(std::uint32_t milliseconds) override;
};

// The date and time formats of the environment's locale (LANG, LC_ALL, LC_TIME), "C" when that
// locale is not installed. The process-wide locale is left alone.
class PosixRegionalFormats final : public IRegionalFormats {
public:
    PosixRegionalFormats();
    ~PosixRegionalFormats() override;
    PosixRegionalFormats(const PosixRegionalFormats&) = delete;
    PosixRegionalFormats& operator=(const PosixRegionalFormats&) = delete;

    std::string ShortDate(const LocalDateTime& moment) const override;
    std::string LongTime(const LocalDateTime& moment) const override;

private:
    std::string Format(int item, const LocalDateTime& moment) const;

    locale_t locale_;
};

// There is no Windows version record here: the query always fails.
class PosixOsVersion final : public IOsVersion {
public:
    std::optional<OsVersionInfo> Query() const override { return std::nullopt; }
};

// Values keep their case; the backup folders live under /var/lib/veltor.
ConfigurationRules LinuxConfigurationRules();

} // namespace veltor::posix
