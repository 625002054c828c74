#pragma once
// The copy of each good backup into a second folder, on another disk or a network share.

#include <cstdint>
#include <string>

namespace veltor {

// Copies a backup into a folder of another volume or machine, whole and checked.
class ICheckedCopier {
public:
    virtual ~ICheckedCopier() = default;
    // Copies `source` into `folder` (a full path; with or without a final separator) as `name`:
    // written under name + ".tmp" (created new, never through a link), flushed to the disk, then
    // its size and a checksum read back from the copy (not from the cache where the system
    // allows) compared with those of the source as it was read, and only then renamed to `name`,
    // never over an existing file. Gives up once `limitSeconds` have passed (checked between
    // blocks). Raises with the reason in a line of the program's ("no hay espacio en <folder>",
    // "la copia no coincide con el Backup"); a failure or a cut-short copy leaves no file under
    // `name` and removes its temporary file.
    virtual void CopyChecked(const std::string& source, const std::string& folder, const std::string& name,
                             std::uint32_t limitSeconds) = 0;
};

// The suffix of the name a copy is written under until it has been checked.
inline constexpr const char* kCopyTemporarySuffix = ".tmp";

} // namespace veltor
