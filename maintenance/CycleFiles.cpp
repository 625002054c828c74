#include "maintenance/CycleFiles.h"

#include "backup/BackupFiles.h"
#include "config/Global.h"
#include "config/PathParts.h"

#include "ports/Errors.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace veltor {
namespace {

constexpr const char* kRestoredTag = "-Restore-";
constexpr const char* kKeptTag = "-Copia-";
constexpr const char* kSideExtension = ".GDB";

// The file name of a database path without its extension, upper-cased from a to z.
std::string SideBase(const std::string& databasePath, char separator) {
    return UpperCaseAscii(FileStemOf(databasePath, separator));
}

std::string SideFileName(const std::string& databasePath, char separator, const char* tag,
                         const std::string& fileStamp) {
    return FolderOf(databasePath, separator) + SideBase(databasePath, separator) + tag + fileStamp + kSideExtension;
}

bool IsDigits(const std::string& text, std::size_t from, std::size_t count) {
    if (text.size() < from + count) return false;
    for (std::size_t i = from; i < from + count; ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

// Whether `name` is base + tag + YYYYMMDD-HHmm + ".GDB".
bool IsSideName(const std::string& name, const std::string& base, const std::string& tag) {
    const std::string head = base + tag;
    const std::string tail = kSideExtension;
    if (name.size() != head.size() + 13 + tail.size() || name.compare(0, head.size(), head) != 0) return false;
    return IsDigits(name, head.size(), 8) && name[head.size() + 8] == '-' && IsDigits(name, head.size() + 9, 4) &&
           name.compare(head.size() + 13, tail.size(), tail) == 0;
}

} // namespace

std::string FileStampOf(const LocalDateTime& moment) {
    return TGlobal::PadNumber(TGlobal::YearOfDate(moment), 4) + TGlobal::PadNumber(TGlobal::MonthOfDate(moment), 2) +
           TGlobal::PadNumber(TGlobal::DayOfDate(moment), 2) + "-" + HourMinuteText(moment);
}

std::string RestoredFileName(const std::string& databasePath, char separator, const std::string& fileStamp) {
    return SideFileName(databasePath, separator, kRestoredTag, fileStamp);
}

std::string KeptCopyFileName(const std::string& databasePath, char separator, const std::string& fileStamp) {
    return SideFileName(databasePath, separator, kKeptTag, fileStamp);
}

namespace {

constexpr std::uint64_t kFnvPrime = 0x100000001b3ULL;

// One 64-bit word into a lane: FNV's step on the word, then its high half folded into its low
// half, so a change in any bit of the word reaches every later step.
std::uint64_t MixWord(std::uint64_t lane, std::uint64_t word) {
    lane = (lane ^ word) * kFnvPrime;
    return lane ^ (lane >> 32);
}

// Fills `buffer` as far as the file goes, so the blocks do not depend on how reads split.
std::size_t ReadFull(IInputFile& file, std::vector<char>& buffer) {
    std::size_t filled = 0;
    for (std::size_t n; filled < buffer.size() && (n = file.Read(buffer.data() + filled, buffer.size() - filled)) > 0;)
        filled += n;
    return filled;
}

} // namespace

FileFingerprint FingerprintOf(IFileSystem& files, const std::string& path) {
    // Four lanes of words take a few instructions a word instead of a multiplication a byte: a
    // backup of some hundred megabytes is read twice within the time the server is in use.
    constexpr std::size_t kLanes = 4;
    constexpr std::size_t kBlock = kLanes * sizeof(std::uint64_t);
    const std::unique_ptr<IInputFile> file = files.OpenForReading(path);
    std::uint64_t lanes[kLanes] = {0xcbf29ce484222325ULL, 0x84222325cbf29ce4ULL, 0x9e3779b97f4a7c15ULL,
                                   0xc2b2ae3d27d4eb4fULL};
    FileFingerprint print{0, 0};
    std::vector<char> buffer(256 * 1024);
    std::size_t n = 0;
    while ((n = ReadFull(*file, buffer)) > 0) {
        std::size_t i = 0;
        for (; i + kBlock <= n; i += kBlock)
            for (std::size_t lane = 0; lane < kLanes; ++lane) {
                std::uint64_t word;
                std::memcpy(&word, buffer.data() + i + lane * sizeof word, sizeof word);
                lanes[lane] = MixWord(lanes[lane], word);
            }
        // Only the last block of the file can be short: its bytes go one at a time.
        for (; i < n; ++i)
            lanes[i % kLanes] = MixWord(lanes[i % kLanes], static_cast<unsigned char>(buffer[i]));
        print.size += n;
    }
    for (std::size_t lane = 0; lane < kLanes; ++lane)
        print.hash = MixWord(print.hash, lanes[lane]);
    return print;
}

namespace {

// Why the exchange cannot use `path` as the file it names (`what`); empty when it can. A
// missing file is left to the step that needs it.
std::string WhyNotAFile(IDatabaseFiles& files, const std::string& path, const std::string& what) {
    switch (files.WhatIsAt(path)) {
    case NameHolds::Link:
        return what + " es un enlace: " + path;
    case NameHolds::Other:
        return what + " no es un archivo: " + path;
    default:
        return {};
    }
}

} // namespace

void SwapInRestored(IDatabaseFiles& files, const std::string& live, const std::string& restored,
                    const std::string& kept) {
    // A second exchange of the same database in the same minute finds its kept name taken.
    if (files.WhatIsAt(kept) != NameHolds::Nothing) throw std::runtime_error("ya existe " + kept);
    for (const std::string& why :
         {WhyNotAFile(files, live, "la base de datos"), WhyNotAFile(files, restored, "el Archivo Restaurado")})
        if (!why.empty()) throw std::runtime_error(why);
    try {
        files.LinkFile(live, kept);
    } catch (const OsError& e) {
        throw OsError("no se pudo dar a la base de datos el nombre " + kept + ": " + e.what(), e.code());
    }
    const auto takeAwayKept = [&]() noexcept {
        try {
            files.RemoveFile(kept);
        } catch (...) {
            // The kept name is one more name of the live file; the next cycle takes it away.
        }
    };
    try {
        files.RenameOver(restored, live);
    } catch (const OsError& e) {
        takeAwayKept();
        throw OsError("no se pudo renombrar " + restored + " por " + live + ": " + e.what(), e.code());
    } catch (...) {
        takeAwayKept();
        throw;
    }
}

LeftOvers FindLeftOvers(IDatabaseFiles& files, const std::string& databasePath, char separator) {
    const std::string folder = FolderOf(databasePath, separator);
    const std::string base = SideBase(databasePath, separator);
    LeftOvers found;
    for (const std::string& name : files.FileNamesIn(folder.empty() ? std::string(".") : folder)) {
        if (IsSideName(name, base, kRestoredTag))
            found.restoredFiles.push_back(folder + name);
        else if (IsSideName(name, base, kKeptTag) && files.SameFile(folder + name, databasePath))
            found.keptLinks.push_back(folder + name);
    }
    return found;
}

void TakeAwayLeftOvers(IDatabaseFiles& files, ActivityLog& log, const std::string& databasePath, char separator) {
    LeftOvers found;
    try {
        found = FindLeftOvers(files, databasePath, separator);
    } catch (const std::exception&) {
        // The room check that follows tells what is wrong with the folder.
        return;
    }
    const auto line = [&](const std::string& text) {
        const std::string stamped = log.StampPrefix() + text;
        log.WriteLogLine(stamped);
        log.WriteMemoLine(stamped);
    };
    // Each kept name is a second name of the live file, left by an exchange that stopped
    // between its steps.
    for (const std::string& kept : found.keptLinks) {
        try {
            files.RemoveFile(kept);
            line(" Se deshace el cambio de archivos que no terminó: " + kept);
        } catch (const std::exception& e) {
            line(" No se pudo deshacer el cambio de archivos que no terminó: " + kept + " Mensaje: " + e.what());
        }
    }
    for (const std::string& restored : found.restoredFiles) {
        try {
            files.RemoveFile(restored);
            line(" Se borra el Archivo Restaurado de un Backup-Restore que no terminó: " + restored);
        } catch (const std::exception& e) {
            line(" No se pudo borrar el Archivo Restaurado: " + restored + " Mensaje: " + e.what());
        }
    }
}

std::uint64_t RestoreRoomFor(std::uint64_t databaseSize) {
    return databaseSize + databaseSize / kRestoreMarginDivisor + kRestoreFixedMargin;
}

std::optional<MissingRoom> RoomForTheCycle(IDatabaseFiles& files, const std::string& databasePath,
                                           const std::string& backupFolder, char separator) {
    const std::uint64_t size = files.FileSize(databasePath);
    const std::string folder = FolderOf(databasePath, separator);
    const std::string liveFolder = folder.empty() ? std::string(".") : folder;
    const VolumeRoom live = files.RoomIn(liveFolder);
    const VolumeRoom backup = files.RoomIn(backupFolder);
    const std::uint64_t restoreNeed = RestoreRoomFor(size);
    if (live.volume == backup.volume) {
        if (restoreNeed + size > live.available) return MissingRoom{liveFolder, restoreNeed + size, live.available};
        return std::nullopt;
    }
    if (restoreNeed > live.available) return MissingRoom{liveFolder, restoreNeed, live.available};
    if (size > backup.available) return MissingRoom{backupFolder, size, backup.available};
    return std::nullopt;
}

std::optional<MissingRoom> RoomForTheRestore(IDatabaseFiles& files, const std::string& databasePath,
                                             std::uint64_t backupSize, const std::string& folder) {
    std::uint64_t size = backupSize;
    if (files.WhatIsAt(databasePath) == NameHolds::RegularFile) size = std::max(size, files.FileSize(databasePath));
    const std::uint64_t need = RestoreRoomFor(size);
    const VolumeRoom room = files.RoomIn(folder);
    if (need > room.available) return MissingRoom{folder, need, room.available};
    return std::nullopt;
}

} // namespace veltor
