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

std::string UpperCaseAscii(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

bool SameName(std::string_view a, std::string_view b, bool ignoreCase) {
    if (a.size() != b.size()) return false;
    if (!ignoreCase) return a == b;
    const auto upper = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; };
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}

} // namespace veltor
