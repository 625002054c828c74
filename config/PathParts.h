#pragma once
// The parts of a path as the runs take it apart: its folder and its file name. On Windows
// (separator '\\') a path may be written with '\\' or '/' (some tools store "C:/Conta/EMP.GDB")
// and a drive's ':' ends the drive part ("C:EMP.GDB"); elsewhere only '/' separates.

#include <string>
#include <string_view>

namespace veltor {

// Where the file name of `path` begins: just after its last separator, or 0.
std::size_t FileNameStart(std::string_view path, char separator);

// The file name of `path`, without its folder.
std::string FileNameOf(std::string_view path, char separator);

// The folder of `path` up to and including its last separator ("" for a bare name).
std::string FolderOf(std::string_view path, char separator);

// The file name of `path` without its extension (its last "." and what follows).
std::string FileStemOf(std::string_view path, char separator);

// `text` with a to z as capitals; every other byte, accented letters included, stays.
std::string UpperCaseAscii(std::string_view text);

// Whether two names or paths are the same text, in any letter case of A to Z when
// `ignoreCase` (where the server's file names ignore it).
bool SameName(std::string_view a, std::string_view b, bool ignoreCase);

// The folder the runs write to and the status check reads from: the configured backup folder
// without trailing blanks and with a final separator.
std::string WorkingBackupFolder(const std::string& backupFolder, char separator);

} // namespace veltor
