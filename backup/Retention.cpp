#include "backup/Retention.h"

#include "config/PathParts.h"

#include <algorithm>
#include <exception>
#include <map>

namespace veltor {
namespace {

bool Same(std::string_view a, std::string_view b, bool ignoreCase) {
    return SameName(a, b, ignoreCase);
}

// The value of `count` digits at `at`, or -1.
long long Digits(std::string_view text, std::size_t at, std::size_t count) {
    long long value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

} // namespace

// The log line is best effort: what it tells has happened whatever the file says.
void WriteLogAndMemo(ActivityLog& log, const std::string& line) {
    try {
        log.WriteLogLine(line);
    } catch (const std::exception&) {
    }
    log.WriteMemoLine(line);
}

RetentionSetting ReadRetentionSetting(const std::optional<std::string>& value) {
    RetentionSetting setting;
    if (!value) return setting;
    const std::string& text = *value;
    // A whole number above zero, digits only; very large counts keep everything.
    constexpr long long kMost = 1'000'000'000;
    long long number = 0;
    bool digits = !text.empty();
    for (const char c : text) {
        if (c < '0' || c > '9') {
            digits = false;
            break;
        }
        number = std::min(kMost, number * 10 + (c - '0'));
    }
    if (digits && number > 0)
        setting.keep = number;
    else
        setting.unusable = true;
    return setting;
}

bool SameStem(std::string_view a, std::string_view b, bool ignoreCase) {
    return Same(a, b, ignoreCase);
}

namespace {

// The moment of a stamp "YYYYMMDD-HHmm" at `at`, as YYYYMMDDHHmm; nothing when it is none.
std::optional<long long> StampAt(std::string_view name, std::size_t at) {
    const long long date = Digits(name, at, 8);
    if (date < 0 || name[at + 8] != '-') return std::nullopt;
    const long long minute = Digits(name, at + 9, 4);
    if (minute < 0) return std::nullopt;
    const long long month = date / 100 % 100;
    const long long day = date % 100;
    if (month < 1 || month > 12 || day < 1 || day > 31 || minute / 100 > 23 || minute % 100 > 59) return std::nullopt;
    return date * 10000 + minute;
}

constexpr std::size_t kStampLength = 8 + 1 + 4;

bool EndsWith(std::string_view text, std::string_view end, bool ignoreCase) {
    return text.size() >= end.size() && Same(text.substr(text.size() - end.size()), end, ignoreCase);
}

} // namespace

std::optional<long long> MadeFileStamp(std::string_view name, std::string_view stem, const MadeFileKind& kind,
                                       bool ignoreCase, std::string_view owner) {
    // stem, tag, YYYYMMDD, "-", HHmm, owner, extension: the stamp part has a fixed length, so a
    // name can belong to one stem only, even when one company's stem begins with another's.
    if (stem.empty() ||
        name.size() != stem.size() + kind.tag.size() + kStampLength + owner.size() + kind.extension.size())
        return std::nullopt;
    if (!Same(name.substr(0, stem.size()), stem, ignoreCase)) return std::nullopt;
    std::size_t at = stem.size();
    if (!Same(name.substr(at, kind.tag.size()), kind.tag, ignoreCase)) return std::nullopt;
    at += kind.tag.size();
    if (!Same(name.substr(at + kStampLength, owner.size()), owner, ignoreCase) ||
        !Same(name.substr(at + kStampLength + owner.size()), kind.extension, ignoreCase))
        return std::nullopt;
    return StampAt(name, at);
}

bool IsMadeBackupName(std::string_view name, bool ignoreCase) {
    if (!EndsWith(name, kBackupFiles.extension, ignoreCase)) return false;
    name.remove_suffix(kBackupFiles.extension.size());
    // An owner: "-E" and digits at the end.
    std::size_t digits = 0;
    while (digits < name.size() && name[name.size() - 1 - digits] >= '0' && name[name.size() - 1 - digits] <= '9')
        ++digits;
    if (digits > 0 && digits + 2 <= name.size() && Same(name.substr(name.size() - digits - 2, 2), "-E", ignoreCase) &&
        name.size() > digits + 2 + kStampLength + 1) {
        const std::string_view rest = name.substr(0, name.size() - digits - 2);
        if (rest[rest.size() - kStampLength - 1] == '-' && StampAt(rest, rest.size() - kStampLength)) return true;
    }
    // stem, "-", stamp: a stem of one character at least.
    return name.size() > kStampLength + 1 && name[name.size() - kStampLength - 1] == '-' &&
           StampAt(name, name.size() - kStampLength).has_value();
}

bool IsLeftOverName(std::string_view name, bool ignoreCase) {
    constexpr std::string_view kTemporary = ".tmp";
    constexpr std::string_view kScratch = "-Verifica.FDB";
    if (EndsWith(name, kTemporary, ignoreCase))
        return IsMadeBackupName(name.substr(0, name.size() - kTemporary.size()), ignoreCase);
    if (EndsWith(name, kScratch, ignoreCase))
        return IsMadeBackupName(std::string(name.substr(0, name.size() - kScratch.size())) +
                                    std::string(kBackupFiles.extension),
                                ignoreCase);
    return false;
}

std::vector<std::string> FilesBeyondKeep(const std::vector<std::string>& names, std::string_view stem,
                                         const MadeFileKind& kind, bool ignoreCase, long long keep,
                                         const std::set<std::string>& protect, const std::vector<std::string>& owners) {
    std::vector<std::pair<long long, std::string>> made;
    for (const std::string& name : names) {
        for (const std::string& owner : owners) {
            if (const auto stamp = MadeFileStamp(name, stem, kind, ignoreCase, owner)) {
                made.emplace_back(*stamp, name);
                break;
            }
        }
    }
    // Newest first; equal minutes (names differing only in case or owner) by name, so the order
    // is fixed.
    std::sort(made.begin(), made.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second > b.second;
    });
    std::vector<std::string> beyond;
    for (std::size_t i = made.size(); i-- > 0;) {
        if (static_cast<long long>(i) < keep) break;
        if (protect.count(made[i].second) == 0) beyond.push_back(made[i].second);
    }
    return beyond;
}

void RemoveMadeFiles(IFileSystem& files, ActivityLog& log, const std::string& folder,
                     const std::vector<std::string>& names, const std::string& removedLine) {
    for (const std::string& name : names) {
        const std::string path = folder + name;
        try {
            files.RemoveFile(path);
            WriteLogAndMemo(log, log.StampPrefix() + removedLine + path);
        } catch (const std::exception& e) {
            WriteLogAndMemo(log, log.StampPrefix() + " No se pudo eliminar: " + path + " Mensaje: " + e.what());
        }
    }
}

} // namespace veltor
