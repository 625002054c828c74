#include "backup/BackupHeader.h"

#include "config/PathParts.h"

#include <cstddef>
#include <memory>
#include <stdexcept>

namespace veltor {
namespace {

// The backup file opens with the record that describes the backup: its type byte, then
// attributes of one type byte, one length byte and the value, up to the attribute that ends
// the record. The backup's format comes first.
constexpr unsigned char kBackupRecord = 0;
constexpr unsigned char kEndOfRecord = 0;
constexpr unsigned char kBackupFormat = 2;
constexpr unsigned char kBackupDate = 1;
constexpr unsigned char kDatabaseName = 7;
// Enough for the attributes before the name and a name of 255 bytes.
constexpr std::size_t kHeaderBytes = 1024;

} // namespace

std::optional<BackupHeader> ParseBackupHeader(std::string_view bytes) {
    if (bytes.size() < 2 || static_cast<unsigned char>(bytes[0]) != kBackupRecord ||
        static_cast<unsigned char>(bytes[1]) != kBackupFormat)
        return std::nullopt;
    BackupHeader header;
    bool named = false;
    std::size_t at = 1;
    while (at < bytes.size()) {
        const auto type = static_cast<unsigned char>(bytes[at]);
        if (type == kEndOfRecord) return named ? std::optional<BackupHeader>(header) : std::nullopt;
        if (at + 1 >= bytes.size()) break;
        const auto length = static_cast<unsigned char>(bytes[at + 1]);
        if (at + 2 + length > bytes.size()) break;
        const std::string_view value = bytes.substr(at + 2, length);
        if (type == kDatabaseName) {
            header.databasePath = std::string(value);
            named = !value.empty();
        } else if (type == kBackupDate) {
            header.date = std::string(value);
        }
        at += 2 + length;
    }
    return std::nullopt;
}

BackupHeader ReadBackupHeader(IFileSystem& files, const std::string& path) {
    const std::unique_ptr<IInputFile> file = files.OpenForReading(path);
    std::string bytes(kHeaderBytes, '\0');
    std::size_t read = 0;
    while (read < bytes.size()) {
        const std::size_t got = file->Read(bytes.data() + read, bytes.size() - read);
        if (got == 0) break;
        read += got;
    }
    bytes.resize(read);
    if (std::optional<BackupHeader> header = ParseBackupHeader(bytes)) return *header;
    throw std::runtime_error("no es un archivo de Backup de Firebird");
}

bool HeaderNamesDatabase(const std::string& headerPath, const std::string& databasePath, bool ignoreCase) {
    if (SameName(headerPath, databasePath, ignoreCase)) return true;
    const std::size_t colon = headerPath.find(':');
    if (colon == std::string::npos || colon < 2) return false;
    return SameName(std::string_view(headerPath).substr(colon + 1), databasePath, ignoreCase);
}

} // namespace veltor
