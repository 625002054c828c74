#pragma once
// Files and folders as the runs need them. Paths are texts in the platform's own form and
// encoding: UTF-8 on Linux, the ANSI code page on Windows (as ADMINBD.inf and the catalogue
// hold them there). Every failing operation raises OsError with the system's message.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace veltor {

// A file opened for reading; Read returns 0 at the end and raises on a read error.
class IInputFile {
public:
    virtual ~IInputFile() = default;
    virtual std::size_t Read(char* buffer, std::size_t size) = 0;
};

// A file opened for appending by this process alone: other processes may read it but cannot
// open it for writing while it is open. Writes may be buffered until Close.
class IAppendFile {
public:
    virtual ~IAppendFile() = default;
    virtual void Write(std::string_view bytes) = 0;
    // Writes out what is buffered and releases the file. Raises on a failed write-out;
    // the file is released in any case. The destructor closes silently.
    virtual void Close() = 0;
};

class IFileSystem {
public:
    virtual ~IFileSystem() = default;
    virtual bool FileExists(const std::string& path) const = 0;
    virtual bool DirectoryExists(const std::string& path) const = 0;
    // One level: the parent must exist.
    virtual void CreateDirectory(const std::string& path) = 0;
    // Copies without overwriting; false when the copy did not happen.
    virtual bool CopyFileNoOverwrite(const std::string& from, const std::string& to) = 0;
    virtual std::unique_ptr<IInputFile> OpenForReading(const std::string& path) = 0;
    // Opens for appending at the end, creating the file when missing.
    virtual std::unique_ptr<IAppendFile> OpenForAppend(const std::string& path) = 0;
    // Removes a file; false when there was none. A link is removed, never what it points to.
    virtual bool RemoveFile(const std::string& path) = 0;
    // Gives `path` the content `bytes` in one step: the bytes go to a new file of a name of its
    // own beside it, which then takes the place of `path`. A reader sees the old content or the
    // new one, never a part; a failure leaves `path` as it was and no new file behind.
    virtual void ReplaceFileContent(const std::string& path, std::string_view bytes) = 0;
    // The names (without the folder) of the plain files in `folder`; folders and links are left
    // out. Raises when the folder cannot be read.
    virtual std::vector<std::string> ListFiles(const std::string& folder) const = 0;
    // The size of a file in bytes; raises when it cannot be read.
    virtual std::uint64_t FileSize(const std::string& path) const = 0;
    // The folder separator of the platform: '\\' on Windows, '/' elsewhere.
    virtual char PathSeparator() const = 0;
};

} // namespace veltor
