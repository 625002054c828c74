#include "config/PathParts.h"

namespace veltor {

std::size_t FileNameStart(std::string_view path, char separator) {
    const std::size_t last = path.find_last_of(separator == '\\' ? std::string_view("\\/:") : std::string_view("/"));
    return last == std::string_view::npos ? 0 : last + 1;
}

std::string FileNameOf(std::string_view path, char separator) {
    return std::string(path.substr(FileNameStart(path, separator)));
}

std::string FolderOf(std::string_view path, char separator) {
    return std::string(path.substr(0, FileNameStart(path, separator)));
}

std::string FileStemOf(std::string_view path, char separator) {
    std::string name = FileNameOf(path, separator);
    if (const std::size_t dot = name.rfind('.'); dot != std::string::npos) name.erase(dot);
    return name;
}

std::string WorkingBackupFolder(const std::string& backupFolder, char separator) {
    std::string folder = backupFolder;
    while (!folder.empty() && folder.back() == ' ')
        folder.pop_back();
    if (folder.empty() || folder.back() != separator) folder += separator;
    return folder;
}

} // namespace veltor
