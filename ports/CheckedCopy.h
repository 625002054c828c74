#pragma once
// A backup copied into a folder of another volume or machine, whole and checked.

#include <cstdint>
#include <string>

namespace veltor {

class ICheckedCopier {
public:
    virtual ~ICheckedCopier() = default;
    // Copies `source` into `folder` (a full path; with or without a final separator) as `name`:
    // written under name + ".tmp" (created new, never through a link), flushed to the disk, then
    // its size and a checksum read back from the copy (not from the cache where the system
    // allows) compared with those of the source as it was read, and only then renamed to `name`,
    // never over an existing file. Gives up once `limitSeconds` have passed (checked between
    // blocks). Raises with the reason; a failure or a cut-short copy leaves no file under `name`
    // and removes its temporary file.
    virtual void CopyChecked(const std::string& source, const std::string& folder, const std::string& name,
                             std::uint32_t limitSeconds) = 0;
};

} // namespace veltor
