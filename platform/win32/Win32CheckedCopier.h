#pragma once
// The checked copy of a backup into a second folder, through the Windows file API and zlib's
// crc32 (linked statically).

#include "ports/CheckedCopy.h"

#include <cstddef>

namespace veltor::win32 {

// Reads the backup once, in blocks, writing each block through to the disk under the temporary
// name and adding it to a CRC-32; the copy is then read back without the system's cache
// (FILE_FLAG_NO_BUFFERING) for its own CRC-32, and moved to its final name without replacing.
// Paths are in the system's code page, as elsewhere in this folder. A folder that is a reparse
// point (a symbolic link, a junction, a mount point) is refused, whoever made it.
class Win32CheckedCopier final : public ICheckedCopier {
public:
    // A multiple of 4096, the largest sector size the unbuffered read-back must respect.
    static constexpr std::size_t kDefaultBlockSize = std::size_t{4} << 20;

    explicit Win32CheckedCopier(std::size_t blockSize = kDefaultBlockSize);

    void CopyChecked(const std::string& source, const std::string& folder, const std::string& name,
                     std::uint32_t limitSeconds) override;

private:
    std::size_t blockSize_;
};

} // namespace veltor::win32
