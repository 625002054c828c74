#include "platform/win32/Win32CheckedCopier.h"

#include "platform/CopyCheck.h"
#include "platform/win32/Win32Files.h"
#include "platform/win32/Win32Text.h"
#include "platform/win32/WinApi.h"
#include "ports/Errors.h"

#include <chrono>
#include <stdexcept>

namespace veltor::win32 {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kSector = 4096;

std::wstring Wide(const std::string& ansi) {
    return WideFromUtf8(Utf8FromAnsi(ansi));
}

// The system's reason behind what the copy was doing.
[[noreturn]] void RaiseCopyError(const std::string& doing, DWORD code) {
    throw OsError(doing + ": " + SystemMessage(code), code);
}

bool IsDiskFull(DWORD code) {
    return code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL;
}

using Deadline = CopyDeadline;
using Summary = CopySummary;

// A buffer on page boundaries, as reads without the cache need.
class AlignedBuffer {
public:
    explicit AlignedBuffer(std::size_t size)
        : memory_(VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {
        if (!memory_) RaiseLastError();
    }
    ~AlignedBuffer() { VirtualFree(memory_, 0, MEM_RELEASE); }
    AlignedBuffer(const AlignedBuffer&) = delete;
    AlignedBuffer& operator=(const AlignedBuffer&) = delete;
    char* get() const { return static_cast<char*>(memory_); }

private:
    void* memory_;
};

// The temporary file of the copy, deleted again unless the copy took its final name (or never
// made it). Made before the handles of the file, so that they are closed when it goes: Windows
// deletes no file that is open.
class TemporaryName {
public:
    explicit TemporaryName(std::wstring path) : path_(std::move(path)) {}
    ~TemporaryName() {
        if (!kept_) DeleteFileW(path_.c_str());
    }
    TemporaryName(const TemporaryName&) = delete;
    TemporaryName& operator=(const TemporaryName&) = delete;
    const wchar_t* c_str() const { return path_.c_str(); }
    void LeaveAlone() { kept_ = true; }

private:
    std::wstring path_;
    bool kept_ = false;
};

DWORD ReadSome(HANDLE file, char* buffer, std::size_t size, const std::string& doing) {
    DWORD read = 0;
    if (!ReadFile(file, buffer, static_cast<DWORD>(size), &read, nullptr)) RaiseCopyError(doing, GetLastError());
    return read;
}

} // namespace

Win32CheckedCopier::Win32CheckedCopier(std::size_t blockSize)
    : blockSize_((blockSize + kSector - 1) / kSector * kSector) {}

void Win32CheckedCopier::CopyChecked(const std::string& source, const std::string& folderPath, const std::string& name,
                                     std::uint32_t limitSeconds) {
    const Deadline deadline(limitSeconds);
    if (folderPath.empty()) throw std::runtime_error("no se indicó la carpeta de la copia");
    // A name of the folder itself, never one that leads out of it.
    if (name.empty() || name == "." || name == ".." || name.find_first_of("\\/:") != std::string::npos)
        throw std::runtime_error("el nombre de la copia no es válido: " + Utf8FromAnsi(name));
    std::string folder = folderPath;
    // "C:\" keeps its separator; any other folder loses its last.
    while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/'))
        folder.pop_back();
    const std::string shown = Utf8FromAnsi(folder);
    const std::string noSpace = "no hay espacio en " + shown;
    const std::string separator = folder.back() == '\\' || folder.back() == '/' ? "" : "\\";

    const DWORD attributes = GetFileAttributesW(Wide(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) RaiseCopyError("no se puede usar la carpeta " + shown, GetLastError());
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        throw OsError("la carpeta " + shown + " es un enlace", ERROR_CANT_ACCESS_FILE);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        throw OsError("la carpeta " + shown + " no es una carpeta", ERROR_DIRECTORY);

    Handle in(INVALID_HANDLE_VALUE);
    try {
        in = OpenRegularFile(source, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, {});
    } catch (const OsError& e) {
        throw OsError("no se puede leer el Backup " + Utf8FromAnsi(source) + ": " + e.what(), e.code());
    }

    const std::wstring finalPath = Wide(folder + separator + name);
    const std::wstring temporaryPath = finalPath + L".tmp";
    // A temporary file left by a copy cut short before; a link there goes as a name.
    if (!DeleteFileW(temporaryPath.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
        RaiseCopyError("no se puede quitar la copia anterior sin terminar en " + shown, GetLastError());
    TemporaryName temporary(temporaryPath);
    Handle out(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!out.valid()) {
        const DWORD error = GetLastError();
        temporary.LeaveAlone();
        if (IsDiskFull(error)) throw OsError(noSpace, error);
        RaiseCopyError("no se puede crear la copia en " + shown, error);
    }
    const auto raiseWriteError = [&](DWORD code) {
        if (IsDiskFull(code)) throw OsError(noSpace, code);
        RaiseCopyError("no se puede escribir la copia en " + shown, code);
    };

    AlignedBuffer buffer(blockSize_);
    Summary read;
    for (bool first = true;; first = false) {
        if (!first) deadline.Check();
        const DWORD n =
            ReadSome(in.get(), buffer.get(), blockSize_, "no se puede leer el Backup " + Utf8FromAnsi(source));
        if (n == 0) break;
        read.Add(buffer.get(), n);
        for (DWORD done = 0; done < n;) {
            DWORD written = 0;
            if (!WriteFile(out.get(), buffer.get() + done, n - done, &written, nullptr))
                raiseWriteError(GetLastError());
            if (written == 0) raiseWriteError(ERROR_WRITE_FAULT);
            done += written;
        }
    }
    in.Close();
    if (!FlushFileBuffers(out.get())) raiseWriteError(GetLastError());
    if (const DWORD error = out.Close(); error != 0) raiseWriteError(error);

    // Without the cache, reads go in whole sectors into the aligned buffer; the last read of a
    // file whose size is not a multiple of the sector returns fewer bytes.
    Handle back(CreateFileW(temporary.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT,
                            nullptr));
    if (!back.valid()) RaiseCopyError("no se puede leer la copia en " + shown, GetLastError());
    Summary written;
    for (;;) {
        deadline.Check();
        const DWORD n = ReadSome(back.get(), buffer.get(), blockSize_, "no se puede leer la copia en " + shown);
        if (n == 0) break;
        written.Add(buffer.get(), n);
    }
    back.Close();
    if (!(written == read)) throw std::runtime_error("la copia no coincide con el Backup");

    // Without MOVEFILE_REPLACE_EXISTING an existing name fails the move.
    if (!MoveFileExW(temporary.c_str(), finalPath.c_str(), MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
            throw OsError("ya hay un archivo " + Utf8FromAnsi(name) + " en " + shown, error);
        RaiseCopyError("no se puede dar el nombre " + Utf8FromAnsi(name) + " a la copia", error);
    }
    temporary.LeaveAlone();
}

} // namespace veltor::win32
