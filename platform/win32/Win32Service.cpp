#include "platform/win32/Win32Service.h"

#include "platform/win32/Win32EventLog.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Text.h"
#include "platform/win32/WinApi.h"
#include "ports/Errors.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <thread>

namespace veltor::win32 {
namespace {

// Owns a handle of the service control manager.
class ScHandle {
public:
    explicit ScHandle(SC_HANDLE handle = nullptr) : handle_(handle) {}
    ~ScHandle() {
        if (handle_ != nullptr) CloseServiceHandle(handle_);
    }
    ScHandle(const ScHandle&) = delete;
    ScHandle& operator=(const ScHandle&) = delete;
    SC_HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    SC_HANDLE handle_;
};

// Owns an event or thread handle.
class KernelHandle {
public:
    explicit KernelHandle(HANDLE handle = nullptr) : handle_(handle) {}
    ~KernelHandle() {
        if (handle_ != nullptr) CloseHandle(handle_);
    }
    KernelHandle(const KernelHandle&) = delete;
    KernelHandle& operator=(const KernelHandle&) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

std::string CurrentFolder() {
    const DWORD size = GetCurrentDirectoryA(0, nullptr);
    if (size == 0) return {};
    std::string folder(size, '\0');
    const DWORD length = GetCurrentDirectoryA(size, folder.data());
    folder.resize(length < size ? length : 0);
    return folder;
}

bool IsFileIn(const std::string& folder, const char* name) {
    const std::string path = folder + (folder.empty() || folder.back() == '\\' ? "" : "\\") + name;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string Failure(const char* what, DWORD code) {
    return std::string(what) + ": " + SystemMessage(code) + " (" + std::to_string(code) + ")\n";
}

// The text of one argument of a command line, quoted as the C run-time reads it back: a
// final backslash is doubled so that it does not escape the closing quote.
std::string Quoted(const std::string& text) {
    std::string quoted = "\"" + text;
    if (!text.empty() && text.back() == '\\') quoted += '\\';
    return quoted + "\"";
}

// No dependency at all: an empty list of names ends with two NULs.
constexpr char kNoDependencies[] = "\0";

// ---- the service's run ----

// What the service's threads share. One service per process.
struct ServiceRun {
    ServiceProgram program;
    std::vector<std::string> processArguments;
    SERVICE_STATUS_HANDLE statusHandle = nullptr;
    std::mutex statusLock;
    SERVICE_STATUS status{};
    HANDLE stopRequests = nullptr; // auto-reset, taken by the program's loop
    HANDLE stopAsked = nullptr;    // manual-reset, for the reporter of the stop's progress
    std::unique_ptr<ServiceOutput> output;
};
ServiceRun* gRun = nullptr;

void Report(DWORD state, DWORD exitCode = NO_ERROR, DWORD waitHint = 0) {
    std::lock_guard lock(gRun->statusLock);
    SERVICE_STATUS& status = gRun->status;
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    const bool settled = state == SERVICE_RUNNING || state == SERVICE_STOPPED;
    status.dwCheckPoint = settled || state != status.dwCurrentState ? (settled ? 0 : 1) : status.dwCheckPoint + 1;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    status.dwWaitHint = waitHint;
    status.dwWin32ExitCode = exitCode == NO_ERROR ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
    status.dwServiceSpecificExitCode = exitCode;
    SetServiceStatus(gRun->statusHandle, &status);
}

DWORD WINAPI OnControl(DWORD control, DWORD, void*, void*) {
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        SetEvent(gRun->stopRequests);
        SetEvent(gRun->stopAsked);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

// The stop requests of the service control manager, as the program's loop takes them.
class ServiceStops final : public console::IStopRequests {
public:
    void Install() override {}
    bool Take(int timeoutMilliseconds) override {
        const DWORD wait = timeoutMilliseconds < 0 ? INFINITE : static_cast<DWORD>(timeoutMilliseconds);
        return WaitForSingleObject(gRun->stopRequests, wait) == WAIT_OBJECT_0;
    }
};

// The program's texts, whatever stream they name, go to the service's output file.
void WriteServiceOutput(std::FILE*, const std::string& text) {
    gRun->output->Write(text);
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

Handle OpenOutput(const std::string& path, DWORD disposition) {
    return Handle(CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, kShareAll, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Once a stop is asked for, reports "stop pending" with a rising check point every second
// until the program has ended: the run in progress may go on for a long while.
constexpr DWORD kStopReportMilliseconds = 1000;
constexpr DWORD kStopWaitHint = 5000;
void ReportStopProgress(HANDLE programEnded) {
    const HANDLE either[] = {gRun->stopAsked, programEnded};
    if (WaitForMultipleObjects(2, either, FALSE, INFINITE) != WAIT_OBJECT_0) return;
    do {
        Report(SERVICE_STOP_PENDING, NO_ERROR, kStopWaitHint);
    } while (WaitForSingleObject(programEnded, kStopReportMilliseconds) == WAIT_TIMEOUT);
}

// The data folder is the argument after --service.
std::string DataFolderOf(const std::vector<std::string>& arguments) {
    const auto option = std::find(arguments.begin(), arguments.end(), "--service");
    return option != arguments.end() && option + 1 != arguments.end() ? *(option + 1) : std::string();
}

void WINAPI ServiceMain(DWORD argc, char** argv) {
    gRun->statusHandle = RegisterServiceCtrlHandlerExA(kServiceName, OnControl, nullptr);
    if (gRun->statusHandle == nullptr) return;
    Report(SERVICE_START_PENDING, NO_ERROR, 3000);
    Win32EventLog events;

    // Services start in the system folder; ADMINBD.inf is read from the current one.
    const std::string folder = DataFolderOf(gRun->processArguments);
    if (folder.empty() || !SetCurrentDirectoryA(folder.c_str())) {
        const DWORD code = folder.empty() ? ERROR_BAD_ARGUMENTS : GetLastError();
        events.Error(std::string("El servicio ") + kServiceName + " no inicia: carpeta de datos " +
                     Utf8FromAnsi(folder) + ": " + SystemMessage(code));
        Report(SERVICE_STOPPED, code);
        return;
    }
    gRun->output = std::make_unique<ServiceOutput>(folder + (folder.back() == '\\' ? "" : "\\") + kServiceOutputFile);
    if (!gRun->output->IsOpen()) {
        events.Error(std::string("El servicio ") + kServiceName + " no inicia: no se pudo abrir " +
                     Utf8FromAnsi(gRun->output->Path()));
        Report(SERVICE_STOPPED, ERROR_OPEN_FAILED);
        return;
    }
    // The script in this folder runs as SYSTEM: a list that lets others write is taken back.
    try {
        if (ProtectDataFolderWhenLess(folder)) WriteServiceOutput(nullptr, DataFolderProtectedLine(folder) + "\n");
    } catch (const OsError& e) {
        WriteServiceOutput(nullptr, "No se pudieron leer ni restablecer los permisos de la carpeta de datos " +
                                        Utf8FromAnsi(folder) + ": " + e.what() + "\n");
    }

    // The options given to this start (argv[0] is the service's name), and the switch that
    // keeps the program from asking for elevation, which a service cannot answer.
    std::vector<std::string> arguments;
    for (DWORD i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i]);
    arguments.emplace_back("-elevated");

    KernelHandle programEnded(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread reporter(ReportStopProgress, programEnded.get());
    Report(SERVICE_RUNNING);
    events.Info(std::string("Servicio ") + kServiceName + " iniciado, carpeta de datos " + Utf8FromAnsi(folder));
    ServiceStops stops;
    int code = 1;
    try {
        // No stream of the C run-time: the writer takes every text to the output file.
        code = gRun->program(arguments, stops, nullptr, WriteServiceOutput, events);
    } catch (...) {
        code = 1;
    }
    SetEvent(programEnded.get());
    reporter.join();
    gRun->output.reset();
    const std::string stopped = std::string("Servicio ") + kServiceName + " detenido";
    if (code == 0)
        events.Info(stopped);
    else
        events.Error(stopped + " con el código de salida " + std::to_string(code));
    Report(SERVICE_STOPPED, static_cast<DWORD>(code));
}

// A crash, or an end with an exit code other than 0, restarts the service after
// kRestartDelayMilliseconds, every time: a run that ends between the cycle's stop and start of
// the database server leaves the server down until the next run starts it again. The count
// of failures goes back to zero after a day without one. Gives a line for what could not be
// set, or nothing.
std::string SetRestartOnFailure(SC_HANDLE service) {
    SC_ACTION restart{SC_ACTION_RESTART, kRestartDelayMilliseconds};
    SERVICE_FAILURE_ACTIONSA actions{};
    actions.dwResetPeriod = kFailureResetSeconds;
    actions.cActions = 1;
    actions.lpsaActions = &restart;
    if (!ChangeServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS, &actions))
        return Failure("No se configuró el reinicio del servicio tras un fallo", GetLastError());
    SERVICE_FAILURE_ACTIONS_FLAG onExitCodes{TRUE};
    if (!ChangeServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &onExitCodes))
        return Failure("No se configuró el reinicio del servicio tras un código de salida distinto de 0",
                       GetLastError());
    return {};
}

void Write(console::TextWriter write, std::FILE* stream, const std::string& text) {
    write(stream, text);
}

} // namespace

ServiceOutput::ServiceOutput(std::string path, long limit)
    : path_(std::move(path)), limit_(limit), file_(OpenOutput(path_, OPEN_ALWAYS)) {}

void ServiceOutput::Write(const std::string& text) {
    if (!file_.valid()) file_ = OpenOutput(path_, OPEN_ALWAYS);
    if (!file_.valid()) return;
    // Lines end as in a file of text: CR LF.
    std::string lines;
    for (const char c : text) {
        if (c == '\n') lines += '\r';
        lines += c;
    }
    DWORD written = 0;
    if (!WriteFile(file_.get(), lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr)) {
        file_.Close();
        return;
    }
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file_.get(), &size) && size.QuadPart > limit_) {
        file_.Close();
        file_ = OpenOutput(path_, CREATE_ALWAYS);
    }
}

ServiceCommand ServiceCommandOf(const std::vector<std::string>& arguments) {
    for (const std::string& argument : arguments) {
        if (argument == "--install-service") return ServiceCommand::Install;
        if (argument == "--remove-service") return ServiceCommand::Remove;
        if (argument == "--service") return ServiceCommand::Run;
        if (argument == "--protect-data-folder") return ServiceCommand::Protect;
    }
    return ServiceCommand::None;
}

std::string ServiceCommandLine(const std::string& program, const std::string& dataFolder) {
    return Quoted(program) + " --service " + Quoted(dataFolder);
}

namespace {

// The data folder's access list, rewritten when it is less protected (or always); one line
// when it was.
int ProtectFolder(const std::string& folder, std::FILE* out, std::FILE* err, console::TextWriter write,
                  bool always = false) {
    try {
        if (always)
            ProtectDataFolder(folder);
        else if (!ProtectDataFolderWhenLess(folder))
            return 0;
    } catch (const OsError& e) {
        Write(write, err,
              "No se pudieron restablecer los permisos de la carpeta de datos " + Utf8FromAnsi(folder) + ": " +
                  e.what() + "\n");
        return 1;
    }
    Write(write, out, DataFolderProtectedLine(folder) + "\n");
    return 0;
}

} // namespace

int InstallService(std::FILE* out, std::FILE* err, console::TextWriter write) {
    const std::string folder = CurrentFolder();
    if (!IsFileIn(folder, "ADMINBD.inf") && !IsFileIn(folder, "ADMINBD.cop")) {
        Write(write, err,
              "No se encontró ADMINBD.inf ni ADMINBD.cop en " + Utf8FromAnsi(folder) +
                  ": instale el servicio desde la carpeta de datos.\n");
        return 1;
    }
    if (ProtectFolder(folder, out, err, write) != 0) return 1;
    ScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
    if (!manager) {
        Write(write, err, Failure("No se pudo abrir el administrador de servicios", GetLastError()));
        return 1;
    }
    const std::string command = ServiceCommandLine(ProgramPath(), folder);
    // SERVICE_START: failure actions that restart the service need it on the handle.
    const DWORD access = SERVICE_CHANGE_CONFIG | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_START;
    SC_HANDLE handle = CreateServiceA(manager.get(), kServiceName, kServiceDisplayName, access,
                                      SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                      command.c_str(), nullptr, nullptr, kNoDependencies, nullptr, nullptr);
    bool updated = false;
    if (handle == nullptr && GetLastError() == ERROR_SERVICE_EXISTS) {
        // Installed before: it takes this executable and this folder, and loses any dependency.
        handle = OpenServiceA(manager.get(), kServiceName, access);
        if (handle != nullptr && !ChangeServiceConfigA(handle, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                                       SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr,
                                                       kNoDependencies, nullptr, nullptr, kServiceDisplayName)) {
            const DWORD code = GetLastError();
            CloseServiceHandle(handle);
            handle = nullptr;
            SetLastError(code);
        }
        updated = handle != nullptr;
    }
    ScHandle service(handle);
    if (!service) {
        Write(write, err, Failure("No se pudo crear el servicio", GetLastError()));
        return 1;
    }
    char description[] = "Copias de seguridad programadas y ciclo de backup-restore de las bases de datos Veltor.";
    SERVICE_DESCRIPTIONA text{description};
    ChangeServiceConfig2A(service.get(), SERVICE_CONFIG_DESCRIPTION, &text);
    // At system start it comes after the services started at once, the database server's
    // among them; its first scheduled run is one timer period later anyway.
    SERVICE_DELAYED_AUTO_START_INFO delayed{TRUE};
    ChangeServiceConfig2A(service.get(), SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &delayed);
    if (const std::string failed = SetRestartOnFailure(service.get()); !failed.empty()) Write(write, err, failed);
    if (const DWORD code = AddEventSource(); code != NO_ERROR)
        Write(write, err, Failure("No se registró el origen de eventos del servicio", code));
    Write(write, out,
          std::string("Servicio ") + kServiceName + (updated ? " actualizado" : " instalado") +
              " (inicio automático), carpeta de datos " + Utf8FromAnsi(folder) + "\n");
    return 0;
}

int RemoveService(std::FILE* out, std::FILE* err, console::TextWriter write) {
    ScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        Write(write, err, Failure("No se pudo abrir el administrador de servicios", GetLastError()));
        return 1;
    }
    ScHandle service(OpenServiceA(manager.get(), kServiceName, DELETE | SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (!service) {
        const DWORD code = GetLastError();
        if (code == ERROR_SERVICE_DOES_NOT_EXIST) {
            RemoveEventSource(); // left by a service deleted some other way
            Write(write, out, std::string("El servicio ") + kServiceName + " no está instalado\n");
            return 0;
        }
        Write(write, err, Failure("No se pudo abrir el servicio", code));
        return 1;
    }
    SERVICE_STATUS status{};
    if (QueryServiceStatus(service.get(), &status) && status.dwCurrentState != SERVICE_STOPPED) {
        Write(write, out,
              std::string("Deteniendo el servicio ") + kServiceName + " (espera el fin de la copia en curso)\n");
        ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
        const DWORD begun = GetTickCount();
        while (QueryServiceStatus(service.get(), &status) && status.dwCurrentState != SERVICE_STOPPED &&
               GetTickCount() - begun < kRemoveStopWaitMilliseconds)
            Sleep(250);
    }
    if (!DeleteService(service.get())) {
        const DWORD code = GetLastError();
        if (code != ERROR_SERVICE_MARKED_FOR_DELETE) {
            Write(write, err, Failure("No se pudo eliminar el servicio", code));
            return 1;
        }
    }
    if (const DWORD code = RemoveEventSource(); code != NO_ERROR)
        Write(write, err, Failure("No se eliminó el origen de eventos del servicio", code));
    const bool stopped = status.dwCurrentState == SERVICE_STOPPED;
    Write(write, out,
          std::string("Servicio ") + kServiceName +
              (stopped ? " eliminado\n" : " marcado para eliminar: se eliminará cuando termine la copia en curso\n"));
    return 0;
}

int RunAsService(const std::vector<std::string>& arguments, ServiceProgram program, std::FILE* err,
                 console::TextWriter write) {
    ServiceRun run;
    run.program = std::move(program);
    run.processArguments = arguments;
    KernelHandle stopRequests(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    KernelHandle stopAsked(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    run.stopRequests = stopRequests.get();
    run.stopAsked = stopAsked.get();
    gRun = &run;
    char name[] = "VeltorBackups";
    SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    const bool dispatched = StartServiceCtrlDispatcherA(table) != 0;
    const DWORD code = GetLastError();
    gRun = nullptr;
    if (dispatched) return 0;
    if (code == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT)
        Write(write, err,
              "--service es para el administrador de servicios; instale el servicio con --install-service\n");
    else
        Write(write, err, Failure("No se pudo iniciar el servicio", code));
    return 1;
}

std::optional<int> RunServiceCommand(const std::vector<std::string>& arguments, ServiceProgram program,
                                     console::TextWriter write) {
    switch (ServiceCommandOf(arguments)) {
    case ServiceCommand::Install:
        return InstallService(stdout, stderr, write);
    case ServiceCommand::Remove:
        return RemoveService(stdout, stderr, write);
    case ServiceCommand::Protect:
        return ProtectFolder(CurrentFolder(), stdout, stderr, write, true);
    case ServiceCommand::Run:
        return RunAsService(arguments, std::move(program), stderr, write);
    case ServiceCommand::None:
        break;
    }
    return std::nullopt;
}

} // namespace veltor::win32
