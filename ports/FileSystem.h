#pragma once
// Files and folders as the runs need them. Paths are texts in the platform's own form and
// encoding: UTF-8 on Linux, the ANSI code page on Windows (as ADMINBD.inf and the catalogue
// hold them there). Every failing operation raises OsError with the system's message.
//
// The program runs as root (administrator) in folders that others may write: the backup
// folder is the database server's to write too, and the databases' folders are the server's.
// Someone there can plant a link under a name the program is about to open, so every
// operation on a file refuses to follow a link at the last part of its path (unless it says
// otherwise), works only on regular files, and changes a file only through what it opened.

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

// A file opened for writing at its end by this process alone: other processes may read it but
// cannot open it for writing while it is open. Writes may be buffered until Close.
class IAppendFile {
public:
    virtual ~IAppendFile() = default;
    virtual void Write(std::string_view bytes) = 0;
    // Writes out what is buffered and releases the file. Raises on a failed write-out;
    // the file is released in any case. The destructor closes silently.
    virtual void Close() = 0;
};

// Held for its life: a lock on a file that every process of the machine respects.
class IFileLock {
public:
    virtual ~IFileLock() = default;
};

// Whether the last part of a path may be a symbolic link that the operation follows.
enum class Links {
    Refuse, // a link there fails the operation (folders others can write)
    Follow, // for files in the installation folder, which only the administrator can write
};

class IFileSystem {
public:
    virtual ~IFileSystem() = default;
    virtual bool FileExists(const std::string& path) const = 0;
    virtual bool DirectoryExists(const std::string& path) const = 0;
    // One level: the parent must exist. A folder made for the backups: its permissions let the
    // administrators and the database server in and keep everybody else out.
    virtual void CreateDirectory(const std::string& path) = 0;
    // Copies a regular file without overwriting and without following a link at `to`; false
    // when the copy did not happen.
    virtual bool CopyFileNoOverwrite(const std::string& from, const std::string& to) = 0;
    // Opens a regular file for reading; anything else (a folder, a device, a pipe, a refused
    // link) fails.
    virtual std::unique_ptr<IInputFile> OpenForReading(const std::string& path, Links links = Links::Refuse) = 0;
    // Opens a regular file with a single name for writing at its end, creating it when missing.
    // A link, a file with a second name (a hard link to a file elsewhere), a folder, a device
    // or a pipe fails.
    virtual std::unique_ptr<IAppendFile> OpenForAppend(const std::string& path) = 0;
    // Creates a new file for writing; fails when anything, a link included, has the name.
    virtual std::unique_ptr<IAppendFile> CreateNew(const std::string& path) = 0;
    // Publishes a file written whole under the temporary name `from` (in the folder of `to`) as
    // `to`: the content of `from` goes to disk first, then `from` takes the name `to` in one step,
    // and the folder's new entry goes to disk too where the system needs it (Linux). A reader of
    // `to` sees the old file or the whole new one, also after a power cut. `from` must be a
    // regular file (a link there is refused); a link at `to` is replaced as a name, never
    // followed. With Existing::Keep a name `to` that exists fails the call and nothing changes.
    enum class Existing { Replace, Keep };
    virtual void PublishFile(const std::string& from, const std::string& to, Existing existing) = 0;
    // Removes a file (a link as a name, never what it points to); false when there was none.
    virtual bool RemoveFile(const std::string& path) = 0;
    // The names (without the folder) of the plain files in `folder`; folders and links are left
    // out. Raises when the folder cannot be read.
    virtual std::vector<std::string> ListFiles(const std::string& folder) const = 0;
    // The size of a file in bytes (of a link, the link's own); raises when it cannot be read.
    virtual std::uint64_t FileSize(const std::string& path) const = 0;
    // Takes the lock of a file, made empty when missing, against every other holder in this
    // process or another, until the result goes (or the process ends); nothing when another
    // holder has it. A link under the name is refused. Raises other failures.
    virtual std::unique_ptr<IFileLock> TryLockFile(const std::string& path) = 0;
    // The folder separator of the platform: '\\' on Windows, '/' elsewhere.
    virtual char PathSeparator() const = 0;
};

} // namespace veltor
