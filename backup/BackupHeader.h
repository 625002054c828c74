#pragma once
// The first record of a Firebird backup file: the database the backup was made from, as the
// backup named it (a bare path when the service read it, "host:path" when gbak attached to it),
// and when it was made. A restore checks it before anything: a file that is not a backup, or a
// backup of another database, is refused or asked about before it can take a company's place.

#include "ports/FileSystem.h"

#include <optional>
#include <string>
#include <string_view>

namespace veltor {

struct BackupHeader {
    std::string databasePath;
    std::string date; // as the backup wrote it ("Thu Dec 10 10:55:30 2026")
};

// The header at the start of `bytes`; nothing when they do not start with one.
std::optional<BackupHeader> ParseBackupHeader(std::string_view bytes);

// The header of the backup file at `path`. Raises when the file cannot be read, and
// "no es un archivo de Backup de Firebird" when it does not start with a backup's header.
BackupHeader ReadBackupHeader(IFileSystem& files, const std::string& path);

// Whether `headerPath`, a header's database, names `databasePath`: the same path, or the same
// path behind the name of a server ("localhost:/srv/conta.fdb"; a drive letter is no server).
bool HeaderNamesDatabase(const std::string& headerPath, const std::string& databasePath, bool ignoreCase);

} // namespace veltor
