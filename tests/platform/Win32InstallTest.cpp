// The programs installed as an administrator installs them, under Wine: the console program as
// a service of the system's service manager, and the installer with its uninstaller. Both use
// the service's one name, so these tests never run at the same time.
#include "platform/win32/Win32EventLog.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Service.h"
#include "tests/support/Win32AccessLists.h"
#include "tests/support/Win32Processes.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace veltor::win32 {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

namespace fs = std::filesystem;

// The console program as a service of Wine's service manager, installed from a folder of its
// own with the slow stand-in library beside it (each attachment takes two seconds and fails),
// so that a run lasts a few seconds. The service's name is the program's own: one test only.
class ServiceMode : public ProgramFolderTest {
protected:
    void SetUp() override {
        ProgramFolderTest::SetUp();
        programs = In("programa");
        data = In("datos");
        fs::create_directories(programs);
        fs::create_directories(data);
        fs::copy_file(ProgramFolder() + "\\veltor-backups-console.exe", Program());
        fs::copy_file(ProgramFolder() + "\\test-fbclient\\slow\\fbclient.dll", programs + "\\fbclient.dll");
        manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(manager, nullptr) << GetLastError();
    }
    void TearDown() override {
        if (SC_HANDLE service = OpenServiceA(manager, kServiceName, SERVICE_ALL_ACCESS)) {
            SERVICE_STATUS status{};
            ControlService(service, SERVICE_CONTROL_STOP, &status);
            Eventually([&] { return State() == SERVICE_STOPPED; }, 20000);
            DeleteService(service);
            CloseServiceHandle(service);
        }
        if (manager != nullptr) CloseServiceHandle(manager);
        RemoveEventSource();
        ProgramFolderTest::TearDown();
    }

    std::string Program() const { return programs + "\\veltor-backups-console.exe"; }
    std::string Output() const { return Bytes(data + "\\" + kServiceOutputFile); }
    SERVICE_STATUS Status() const {
        SERVICE_STATUS status{};
        if (SC_HANDLE service = OpenServiceA(manager, kServiceName, SERVICE_QUERY_STATUS)) {
            QueryServiceStatus(service, &status);
            CloseServiceHandle(service);
        }
        return status;
    }
    DWORD State() const { return Status().dwCurrentState; }
    bool Start(std::vector<const char*> arguments) const {
        SC_HANDLE service = OpenServiceA(manager, kServiceName, SERVICE_START);
        const bool started =
            service != nullptr && StartServiceA(service, static_cast<DWORD>(arguments.size()), arguments.data());
        if (service != nullptr) CloseServiceHandle(service);
        return started;
    }
    bool Stop() const {
        SC_HANDLE service = OpenServiceA(manager, kServiceName, SERVICE_STOP);
        SERVICE_STATUS status{};
        const bool accepted = service != nullptr && ControlService(service, SERVICE_CONTROL_STOP, &status);
        if (service != nullptr) CloseServiceHandle(service);
        return accepted;
    }
    // The service's configuration: start type, command line and dependencies ("|" between them).
    // The dependencies are read where the service manager keeps them, since Wine's
    // QueryServiceConfig does not give them.
    std::string Configuration() const {
        SC_HANDLE service = OpenServiceA(manager, kServiceName, SERVICE_QUERY_CONFIG);
        if (service == nullptr) return "none";
        std::vector<char> buffer(8192);
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
        DWORD needed = 0;
        std::string text = "unreadable";
        if (QueryServiceConfigA(service, config, static_cast<DWORD>(buffer.size()), &needed))
            text = std::to_string(config->dwStartType) + "|" + config->lpBinaryPathName + "|";
        CloseServiceHandle(service);
        std::vector<char> names(4096, '\0');
        DWORD size = static_cast<DWORD>(names.size() - 2);
        const std::string key = std::string("SYSTEM\\CurrentControlSet\\Services\\") + kServiceName;
        if (RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), "DependOnService", RRF_RT_REG_MULTI_SZ, nullptr, names.data(),
                         &size) == ERROR_SUCCESS)
            for (const char* name = names.data(); *name != '\0'; name += std::strlen(name) + 1)
                text += std::string(name) + ";";
        return text;
    }

    // The failure actions as the service manager gives them: "reset period|type:delay ...|flag"
    // (the flag for ends with an exit code other than 0), or "none".
    std::string FailureActions() const {
        SC_HANDLE service = OpenServiceA(manager, kServiceName, SERVICE_QUERY_CONFIG);
        if (service == nullptr) return "none";
        std::vector<BYTE> buffer(4096);
        DWORD needed = 0;
        std::string text = "none";
        const auto* actions = reinterpret_cast<const SERVICE_FAILURE_ACTIONSA*>(buffer.data());
        if (QueryServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS, buffer.data(),
                                 static_cast<DWORD>(buffer.size()), &needed) &&
            actions->cActions > 0) {
            text = std::to_string(actions->dwResetPeriod) + "|";
            for (DWORD i = 0; i < actions->cActions; ++i)
                text +=
                    std::to_string(actions->lpsaActions[i].Type) + ":" + std::to_string(actions->lpsaActions[i].Delay);
            SERVICE_FAILURE_ACTIONS_FLAG flag{};
            if (QueryServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, reinterpret_cast<BYTE*>(&flag),
                                     sizeof flag, &needed))
                text += "|" + std::to_string(flag.fFailureActionsOnNonCrashFailures);
        }
        CloseServiceHandle(service);
        return text;
    }

    // The message file of the service's event source, "none" without the source.
    static std::string EventMessageFile() {
        char file[MAX_PATH] = {};
        DWORD size = sizeof file;
        return RegGetValueA(HKEY_LOCAL_MACHINE, kEventSourceKey, "EventMessageFile",
                            RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, file, &size) == ERROR_SUCCESS
                   ? file
                   : "none";
    }

    std::string programs;
    std::string data;
    SC_HANDLE manager = nullptr;
};

bool UnderWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

TEST_F(ServiceMode, InstalledWithoutDependencyRunsInTheDataFolderStopsAfterTheRunAndIsRemoved) {
    std::string installErr;
    // Installed only from a data folder.
    {
        Child install(folder, Program(), "--install-service");
        EXPECT_EQ(install.Wait(), std::optional<DWORD>(1u));
        EXPECT_THAT(install.Err(), HasSubstr("ADMINBD.cop"));
        EXPECT_EQ(Configuration(), "none");
    }
    // An earlier installation made it depend on the database server's service, which the
    // backup-restore cycle stops with its dependents: installing again takes that away.
    SC_HANDLE earlier = CreateServiceA(manager, kServiceName, kServiceName, SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, "old.exe",
                                       nullptr, nullptr, "FirebirdGuardianDefaultInstance\0", nullptr, nullptr);
    ASSERT_NE(earlier, nullptr) << GetLastError();
    CloseServiceHandle(earlier);
    ASSERT_THAT(Configuration(), HasSubstr("FirebirdGuardianDefaultInstance"));
    std::ofstream(data + "\\ADMINBD.inf", std::ios::binary)
        << "RUTABD=c:\\datos\\admin.fdb\r\nSERVIDOR=localhost\r\nRUTABACKUP=" << data << "\\bk\\\r\n";
    {
        Child install(data, Program(), "--install-service");
        ASSERT_EQ(install.Wait(), std::optional<DWORD>(0u)) << install.Err();
        EXPECT_THAT(install.Out(), HasSubstr("Servicio VeltorBackups actualizado"));
        // A scratch folder inherits its list (so does Wine's answer for any folder).
        EXPECT_THAT(install.Out(), HasSubstr(DataFolderProtectedLine(data)));
        installErr = install.Err();
    }
    EXPECT_EQ(Configuration(), std::to_string(SERVICE_AUTO_START) + "|" + ServiceCommandLine(Program(), data) + "|");
    // Wine takes the failure actions without keeping them and refuses the flag for ends with
    // an exit code other than 0: the service is installed all the same, with a line that says
    // so. Only Windows shows the actions.
    if (UnderWine()) {
        EXPECT_THAT(installErr, Not(HasSubstr("tras un fallo:")));
    } else {
        EXPECT_EQ(installErr, "");
        EXPECT_EQ(FailureActions(), "86400|1:60000|1");
    }
    EXPECT_EQ(EventMessageFile(), kEventMessageFile);
    {
        Win32EventLog events;
        for (const unsigned short type : {EVENTLOG_INFORMATION_TYPE, EVENTLOG_WARNING_TYPE, EVENTLOG_ERROR_TYPE})
            EXPECT_TRUE(events.Report(type, "Backup: 1 empresa no terminada\n001 - UNO: fake")) << GetLastError();
    }

    // A run ("--now" given to the start): the stop asked in the middle of it waits for its end,
    // "stop pending" with a rising check point meanwhile.
    ASSERT_TRUE(Start({"--now"})) << GetLastError();
    ASSERT_TRUE(Eventually([&] { return Output().find(" Inicia Backup ") != std::string::npos; })) << Output();
    const DWORD asked = GetTickCount();
    ASSERT_TRUE(Stop()) << GetLastError();
    std::vector<DWORD> checkPoints;
    ASSERT_TRUE(Eventually([&] {
        const SERVICE_STATUS status = Status();
        if (status.dwCurrentState == SERVICE_STOP_PENDING &&
            (checkPoints.empty() || checkPoints.back() != status.dwCheckPoint))
            checkPoints.push_back(status.dwCheckPoint);
        return status.dwCurrentState == SERVICE_STOPPED;
    }));
    EXPECT_GE(GetTickCount() - asked, 1000u);
    ASSERT_GE(checkPoints.size(), 2u);
    EXPECT_TRUE(std::is_sorted(checkPoints.begin(), checkPoints.end()));
    // The run could not reach the catalogue: the program's exit code 2, as the service's own.
    EXPECT_EQ(Status().dwWin32ExitCode, static_cast<DWORD>(ERROR_SERVICE_SPECIFIC_ERROR));
    EXPECT_EQ(Status().dwServiceSpecificExitCode, 2u);
    // ADMINBD.inf was read from the data folder, and the run went on to its end.
    const std::string output = Output();
    EXPECT_THAT(output, HasSubstr("Biblioteca cliente de Firebird: " + programs + "\\fbclient.dll"));
    EXPECT_THAT(output, HasSubstr("LOCALHOST:C:\\DATOS\\ADMIN.FDB"));
    EXPECT_THAT(output, HasSubstr("Advertencia en Backup: fake\r\n"));

    // With its timers and no run in progress, a stop ends it at once.
    ASSERT_TRUE(Start({})) << GetLastError();
    ASSERT_TRUE(Eventually([&] { return State() == SERVICE_RUNNING; }));
    const DWORD stopping = GetTickCount();
    ASSERT_TRUE(Stop()) << GetLastError();
    ASSERT_TRUE(Eventually([&] { return State() == SERVICE_STOPPED; }));
    EXPECT_LT(GetTickCount() - stopping, 5000u);
    EXPECT_EQ(Status().dwWin32ExitCode, static_cast<DWORD>(NO_ERROR));

    for (const char* said : {"Servicio VeltorBackups eliminado", "El servicio VeltorBackups no est"}) {
        Child remove(data, Program(), "--remove-service");
        EXPECT_EQ(remove.Wait(), std::optional<DWORD>(0u)) << remove.Err();
        EXPECT_THAT(remove.Out(), HasSubstr(said));
        EXPECT_EQ(Configuration(), "none");
        EXPECT_EQ(EventMessageFile(), "none");
    }
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string KnownFolder(int which) {
    char path[MAX_PATH] = {};
    return SUCCEEDED(SHGetFolderPathA(nullptr, which, nullptr, 0, path)) ? path : "";
}

// The target and the working folder of a shortcut, or nothing when it cannot be read.
struct Shortcut {
    std::string target;
    std::string folder;
};
std::optional<Shortcut> ReadShortcut(const std::string& path) {
    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link))))
        return std::nullopt;
    std::optional<Shortcut> shortcut;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        const std::wstring wide(path.begin(), path.end());
        char target[MAX_PATH] = {};
        char folder[MAX_PATH] = {};
        if (SUCCEEDED(file->Load(wide.c_str(), STGM_READ)) && SUCCEEDED(link->GetPath(target, MAX_PATH, nullptr, 0)) &&
            SUCCEEDED(link->GetWorkingDirectory(folder, MAX_PATH)))
            shortcut = Shortcut{target, folder};
        file->Release();
    }
    link->Release();
    return shortcut;
}

// The installer of this build (a path of the build machine, seen through Wine's drive Z:).
std::string InstallerPath() {
    std::string path = std::string("Z:") + VELTOR_INSTALLER;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// Installs into the prefix's own Program Files and C:\Datos Veltor, and removes whatever the
// test leaves behind.
class Installer : public ServiceMode {
protected:
    static constexpr const char* kData = "C:\\Datos Veltor";

    void SetUp() override {
        ServiceMode::SetUp();
        CoInitialize(nullptr);
        installed = KnownFolder(CSIDL_PROGRAM_FILES) + "\\Veltor Backups";
        menuShortcut = KnownFolder(CSIDL_COMMON_PROGRAMS) + "\\Veltor Backups\\Veltor Backups.lnk";
        logonShortcut = KnownFolder(CSIDL_COMMON_STARTUP) + "\\Veltor Backups.lnk";
        std::error_code ignored;
        fs::remove_all(kData, ignored);
    }
    void TearDown() override {
        ServiceMode::TearDown();
        std::error_code ignored;
        fs::remove_all(installed, ignored);
        fs::remove_all(fs::path(menuShortcut).parent_path(), ignored);
        fs::remove(logonShortcut, ignored);
        fs::remove_all(kData, ignored);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VeltorBackups");
        CoUninitialize();
    }

    std::string installed;
    std::string menuShortcut;
    std::string logonShortcut;
};

TEST_F(Installer, SilentInstallWithEveryChoiceRunsInTheDataFolderAndUninstallKeepsTheData) {
    {
        Child setup(folder, InstallerPath(), "/S /LOGON /SERVICE");
        ASSERT_EQ(setup.Wait(120000), std::optional<DWORD>(0u));
    }
    for (const char* name : {"veltor-backups.exe", "veltor-backups-console.exe", "uninstall.exe"})
        EXPECT_TRUE(fs::exists(installed + "\\" + name)) << name;
    EXPECT_TRUE(fs::exists(std::string(kData) + "\\ADMINBD.cop"));
    // The data folder's own list, where the system keeps one.
    if (SystemKeepsOwnAccessLists(In("sonda"))) {
        EXPECT_FALSE(access::LessProtectedThanDataFolder(ReadAccessList(kData)));
    }
    for (const std::string& link : {menuShortcut, logonShortcut}) {
        const std::optional<Shortcut> shortcut = ReadShortcut(link);
        ASSERT_TRUE(shortcut) << link;
        EXPECT_EQ(Lower(shortcut->target), Lower(installed + "\\veltor-backups.exe")) << link;
        EXPECT_EQ(Lower(shortcut->folder), Lower(kData)) << link;
    }
    // The service, installed from the data folder and started.
    const std::string console = installed + "\\veltor-backups-console.exe";
    EXPECT_EQ(Lower(Configuration()),
              Lower(std::to_string(SERVICE_AUTO_START) + "|" + ServiceCommandLine(console, kData) + "|"));
    EXPECT_TRUE(Eventually([&] { return State() == SERVICE_RUNNING; }));

    // One run of the installed console program where the shortcuts start: it reads the
    // ADMINBD.inf made from the template (by the service or by itself).
    {
        Child tick(kData, console, "--tick");
        // Exit code 2: no client library here, so the catalogue cannot be reached.
        EXPECT_EQ(tick.Wait(), std::optional<DWORD>(2u)) << tick.Err();
        EXPECT_THAT(tick.Out(), HasSubstr("Conexi\xC3\xB3n: LOCALHOST:C:\\DATOS VELTOR\\ADMIN.FDB"));
    }
    EXPECT_TRUE(fs::exists(std::string(kData) + "\\ADMINBD.inf"));
    EXPECT_TRUE(fs::is_directory(std::string(kData) + "\\Backups"));

    {
        Child uninstall(folder, installed + "\\uninstall.exe", "/S");
        EXPECT_EQ(uninstall.Wait(), std::optional<DWORD>(0u));
    }
    // The uninstaller goes on from a copy of itself, so its end is seen in what it removes.
    EXPECT_TRUE(Eventually([&] { return !fs::exists(installed); }, 60000));
    EXPECT_EQ(Configuration(), "none");
    EXPECT_FALSE(fs::exists(menuShortcut));
    EXPECT_FALSE(fs::exists(logonShortcut));
    for (const char* kept : {"ADMINBD.inf", "ADMINBD.cop", "Backups", kServiceOutputFile})
        EXPECT_TRUE(fs::exists(std::string(kData) + "\\" + kept)) << kept;
}

} // namespace
} // namespace veltor::win32
