#pragma once
// The Windows adapters of the ports. Only the .cpp files of this folder see the Windows
// headers. Paths are handed to the ANSI calls as they come, that is in the system's code
// page, the form in which ADMINBD.inf and the administration database give them.

#include "config/Global.h"
#include "dbserver/FbClientApi.h"
#include "platform/access/AccessRules.h"
#include "ports/Clock.h"
#include "ports/DatabaseFiles.h"
#include "ports/Elevation.h"
#include "ports/FileSystem.h"
#include "ports/HookRunner.h"
#include "ports/MessageBox.h"
#include "ports/OsVersion.h"
#include "ports/RegionalFormats.h"
#include "ports/ServiceManager.h"
#include "ports/ShellLauncher.h"

struct _SYSTEMTIME;

#include <optional>
#include <string>
#include <vector>

namespace veltor::win32 {

// Files through CreateFile, ReadFile and WriteFile. A file opened for appending is shared for
// reading only, so a second writer, in this process or another, is refused with a sharing
// violation, while readers may still open it. Reparse points (symbolic links, junctions) are
// opened as themselves and refused, unless Links::Follow says otherwise; new files are made
// with CREATE_NEW.
//
// A folder it creates gets an access list of its own, not the inherited one: full control for
// the Administrators and SYSTEM, modify for the account of the first of `serverServices` that
// the service control manager knows (the database server, which writes the backups), and
// nobody else.
class Win32FileSystem final : public IFileSystem {
public:
    explicit Win32FileSystem(std::vector<std::string> serverServices = {"FirebirdServerDefaultInstance",
                                                                        "FirebirdGuardianDefaultInstance"});
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
    char PathSeparator() const override { return '\\'; }

private:
    std::vector<std::string> serverServices_;
};

// The owner and access list of a file or folder, in the rule's form; raises when they cannot
// be read.
access::List ReadAccessList(const std::string& path);
// The account of this process's token ("S-1-..."); empty when it cannot be told.
std::string ProcessAccount();
// The owner and access list that Windows makes of a descriptor's text.
access::List AccessListOfSddl(const char* sddl);
// Gives the data folder the owner and the protected access list of access::kDataFolderSddl,
// in place of what it had (the list of C:\, which lets every user write, among them).
void ProtectDataFolder(const std::string& folder);
// ProtectDataFolder when the folder is less protected than that (access::LessProtectedThanDataFolder);
// true when it was.
bool ProtectDataFolderWhenLess(const std::string& folder);
// The line that says the data folder's list was rewritten.
std::string DataFolderProtectedLine(const std::string& folder);

// ShellExecute "open" of the script by its full path in the current folder, with the quoted
// argument, in a shown window; started only when CheckScript lets it, otherwise the launch says
// why in `refused`.
class Win32ShellLauncher final : public IShellLauncher {
public:
    ScriptLaunch LaunchScript(const std::string& script, const std::string& argument) override;
};

// The hook by CreateProcess, when CheckScript lets it: a program by itself, a .cmd or .bat file
// through the system's cmd.exe, its arguments quoted as the C run-time reads them back (cmd.exe
// still expands a %NAME% in them). No window; standard output and error on one pipe, standard
// input on NUL, no other handle of this process inherited. It runs in a job object of its own:
// at the limit the job is ended, and with it everything the script started; when the script
// ends by itself, what it left running in the job is ended too. The first line keeps the bytes
// as the script wrote them (cmd.exe writes in the console's code page).
class Win32HookRunner final : public IHookRunner {
public:
    HookRun RunHook(const std::string& script, const std::vector<std::string>& arguments,
                    std::uint32_t limitSeconds) override;
};

// The files beside a company database: the live file's owner and access list copied onto the
// restored one through their handles (GetSecurityInfo, SetSecurityInfo), CreateHardLink for a second name, MoveFileEx
// with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH for the rename over the live name, GetDiskFreeSpaceEx for the
// room this process may take, the volume serial number and file index of GetFileInformationByHandle to tell two names
// of one file.
class Win32DatabaseFiles final : public IDatabaseFiles {
public:
    void MatchAccess(const std::string& live, const std::string& restored) override;
    void LinkFile(const std::string& existing, const std::string& link) override;
    void RenameOver(const std::string& from, const std::string& to) override;
    bool RemoveFile(const std::string& path) override;
    NameHolds WhatIsAt(const std::string& path) override;
    bool SameFile(const std::string& a, const std::string& b) override;
    std::uint64_t FileSize(const std::string& path) override;
    LocalDateTime LastWritten(const std::string& path) override;
    VolumeRoom RoomIn(const std::string& folder) override;
    std::vector<std::string> FileNamesIn(const std::string& folder) override;
};

// A local SYSTEMTIME as our moment (its day of the week counts from Sunday, as ours).
LocalDateTime LocalDateTimeOf(const _SYSTEMTIME& local);

// GetLocalTime, GetTickCount, Sleep.
class Win32Clock final : public IClock {
public:
    LocalDateTime Now() const override;
    std::uint32_t TickCount() const override;
    void Sleep(std::uint32_t milliseconds) override;
};

// The user's short date and long time formats (GetDateFormat, GetTimeFormat).
class Win32RegionalFormats final : public IRegionalFormats {
public:
    std::string ShortDate(const LocalDateTime& moment) const override;
    std::string LongTime(const LocalDateTime& moment) const override;
};

// Modal error boxes captioned with the application title ("Backups Veltor" unless set), owned
// by the given window (none: the box belongs to the desktop).
class Win32MessageBox final : public IMessageBox {
public:
    explicit Win32MessageBox(void* ownerWindow = nullptr) : owner_(ownerWindow) {}
    void ShowError(const std::string& text) override;
    void SetCaption(const std::string& caption) { caption_ = caption; }
    void SetOwner(void* ownerWindow) { owner_ = ownerWindow; }

private:
    void* owner_;
    std::string caption_ = "Backups Veltor";
};

// GetVersionEx with the basic 148-byte record.
class Win32OsVersion final : public IOsVersion {
public:
    std::optional<OsVersionInfo> Query() const override;
};

// The service control manager of advapi32, one Windows call per method.
class Win32ServiceManager final : public IServiceManager {
public:
    ServiceHandle OpenManager(const char* machineName, const char* databaseName, std::uint32_t access) override;
    ServiceHandle OpenServiceByName(ServiceHandle manager, const char* serviceName, std::uint32_t access) override;
    bool QueryStatus(ServiceHandle service, ServiceStatus& status) override;
    bool Start(ServiceHandle service) override;
    bool Control(ServiceHandle service, std::uint32_t control, ServiceStatus& status) override;
    bool EnumerateDependents(ServiceHandle service, std::uint32_t serviceState, void* buffer, std::uint32_t bufferSize,
                             std::uint32_t& bytesNeeded, std::uint32_t& servicesReturned) override;
    bool Close(ServiceHandle handle) override;
    std::uint32_t TickCount() override;
    void Sleep(std::uint32_t milliseconds) override;
    std::uint32_t LastError() override;
};

// Membership of the process's token in the built-in Administrators group (S-1-5-32-544), and
// the relaunch through the shell's "runas" verb.
class Win32Elevation final : public IElevation {
public:
    bool IsAdministrator() const override;
    int RelaunchElevated(const std::vector<std::string>& arguments) override;
};

// Values upper-cased, backups under C:\Datos Veltor\Backups\.
ConfigurationRules WindowsConfigurationRules();

// A folder that may hold fbclient.dll, and how it came to be looked at ("servidor registrado").
struct ClientFolder {
    std::string folder;
    std::string origin;
};
// The folders fb::LoadClientApi looks at, in order: the database server's (the FIREBIRD
// environment variable's folder, then the root of the server instance in the registry, each
// with its bin\ after it), then the program's folder, then the folders of the PATH.
std::vector<ClientFolder> ClientLibraryFolders();

struct LoadedClient {
    fb::ClientApi api;
    fb::ClientLibraryFacts facts;
};
// The entry points of the first fbclient.dll found in the given folders, in order, with where
// it came from and whether the local engine is beside it. The library stays loaded for the
// rest of the process. Nothing, with the reason in whyMissing, when no folder holds one, it
// cannot be loaded, or it lacks an entry point.
std::optional<LoadedClient> LoadClientFrom(const std::vector<ClientFolder>& folders, std::string& whyMissing);
// The same for folders of no particular origin; the entry points only.
std::optional<fb::ClientApi> LoadClientApiFrom(const std::vector<std::string>& folders, std::string& whyMissing);

// The full path of the running executable, and its folder without a final separator.
std::string ProgramPath();
std::string ProgramFolder();

} // namespace veltor::win32
