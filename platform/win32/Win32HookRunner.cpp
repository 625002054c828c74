// The hooks of the administrator's on Windows.
#include "platform/HookOutput.h"
#include "platform/win32/Win32Files.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Text.h"
#include "platform/win32/WinApi.h"

#include <algorithm>
#include <memory>

namespace veltor::win32 {
namespace {

// How often the pipe is read while the script runs.
constexpr ULONGLONG kReadEveryMs = 20;
// How long a job that was ended is waited for.
constexpr DWORD kEndWaitMs = 5000;

bool RunsThroughCmd(const std::string& path) {
    const std::size_t dot = path.find_last_of(".\\/");
    if (dot == std::string::npos || path[dot] != '.') return false;
    std::string extension = path.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return extension == ".cmd" || extension == ".bat";
}

// The system's own cmd.exe, never one found by a search; empty when the folder cannot be told.
std::wstring SystemCmd() {
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return std::wstring(folder, length) + L"\\cmd.exe";
}

// The attribute that lets the child inherit these handles and no other; freed when it goes.
class InheritedHandles {
public:
    explicit InheritedHandles(std::vector<HANDLE> handles) : handles_(std::move(handles)) {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        memory_ = std::make_unique<unsigned char[]>(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(memory_.get());
        if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) return;
        if (!UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                       handles_.size() * sizeof(HANDLE), nullptr, nullptr)) {
            DeleteProcThreadAttributeList(list);
            return;
        }
        list_ = list;
    }
    ~InheritedHandles() {
        if (list_ != nullptr) DeleteProcThreadAttributeList(list_);
    }
    InheritedHandles(const InheritedHandles&) = delete;
    InheritedHandles& operator=(const InheritedHandles&) = delete;
    LPPROC_THREAD_ATTRIBUTE_LIST get() const { return list_; }

private:
    std::vector<HANDLE> handles_;
    std::unique_ptr<unsigned char[]> memory_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

// What the pipe holds now, without waiting for more (a bounded amount, should something keep
// writing); false once nothing can write to it any more.
bool ReadWhatIsThere(HANDLE pipe, HookFirstLine& line) {
    for (int reads = 0; reads < 256; ++reads) {
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return false;
        if (available == 0) return true;
        char buffer[4096];
        DWORD got = 0;
        if (!ReadFile(pipe, buffer, std::min<DWORD>(available, sizeof buffer), &got, nullptr) || got == 0) return false;
        line.Add({buffer, got});
    }
    return true;
}

} // namespace

HookRun Win32HookRunner::RunHook(const std::string& script, const std::vector<std::string>& arguments,
                                 std::uint32_t limitSeconds) {
    const CheckedScript checked = CheckScript(script);
    HookRun run;
    run.refused = checked.refused;
    if (checked.path.empty()) return run;

    std::wstring quotedArguments;
    for (const std::string& argument : arguments)
        quotedArguments += L" " + WideForDisplay(QuotedArgument(argument));
    const std::wstring quotedScript = WideFromAnsi(QuotedArgument(checked.path));
    std::wstring application;
    std::wstring commandLine;
    if (RunsThroughCmd(checked.path)) {
        application = SystemCmd();
        if (application.empty()) return run;
        // No AutoRun commands (/d); with /s, what lies between the first quote and the last is
        // the command as it is.
        commandLine = L"cmd.exe /d /s /c \"" + quotedScript + quotedArguments + L"\"";
    } else {
        application = WideFromAnsi(checked.path);
        commandLine = quotedScript + quotedArguments;
    }

    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) return run;
    Handle reading(readEnd);
    Handle writing(writeEnd);
    if (!SetHandleInformation(reading.get(), HANDLE_FLAG_INHERIT, 0)) return run;
    Handle input(
        CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING, 0, nullptr));

    // Ended with what it started when the job is ended, or when its last handle goes.
    const Handle job(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job.valid() || !SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits))
        return run;

    std::vector<HANDLE> handles{writing.get()};
    if (input.valid()) handles.push_back(input.get());
    const InheritedHandles inherited(handles);
    if (inherited.get() == nullptr) return run;
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = input.valid() ? input.get() : nullptr;
    startup.StartupInfo.hStdOutput = writing.get();
    startup.StartupInfo.hStdError = writing.get();
    startup.lpAttributeList = inherited.get();
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                        CREATE_SUSPENDED | CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                        &startup.StartupInfo, &started))
        return run;
    const Handle process(started.hProcess);
    const Handle thread(started.hThread);
    writing.Close();
    input.Close();
    // In the job before it runs a single instruction, so that all it starts is in the job too.
    if (!AssignProcessToJobObject(job.get(), process.get())) {
        TerminateProcess(process.get(), 1);
        WaitForSingleObject(process.get(), kEndWaitMs);
        return run;
    }
    ResumeThread(thread.get());
    run.started = true;

    HookFirstLine line;
    bool open = true;
    bool ended = false;
    const ULONGLONG deadline = GetTickCount64() + 1000ULL * limitSeconds;
    for (;;) {
        if (open) open = ReadWhatIsThere(reading.get(), line);
        const ULONGLONG now = GetTickCount64();
        const DWORD wait = now >= deadline ? 0 : static_cast<DWORD>(std::min(deadline - now, kReadEveryMs));
        if (WaitForSingleObject(process.get(), wait) != WAIT_TIMEOUT) {
            ended = true;
            break;
        }
        if (now >= deadline) break;
    }
    // Everything of the job that is still running: all of it at the limit, what the script left
    // behind when it ended by itself.
    TerminateJobObject(job.get(), 1);
    if (!ended) {
        run.timedOut = true;
        WaitForSingleObject(process.get(), kEndWaitMs);
    }
    if (open) ReadWhatIsThere(reading.get(), line);
    DWORD code = 0;
    if (ended && GetExitCodeProcess(process.get(), &code)) run.exitCode = static_cast<int>(code);
    run.firstLine = line.Text();
    return run;
}

} // namespace veltor::win32
