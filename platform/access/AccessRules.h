#pragma once
// Whether a Windows access list lets somebody other than the administrators change a file or
// a folder. The rule works on the entries as the Windows adapter reads them from a security
// descriptor (security identifiers in their "S-1-..." form), with no system header, so it is
// the same rule on every platform.

#include <cstdint>
#include <string>
#include <vector>

namespace veltor::access {

// The data folder's access list: owned by the Administrators, full control for them and for
// SYSTEM, nobody else; nothing inherited from the parent, and inherited by what is made inside.
// Users may not even read: the service's output there holds the memo's lines, the database
// server's administrator password among them when the catalogue cannot be reached.
inline constexpr const char* kDataFolderSddl = "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

// The rights that change a file or what a folder holds: write and append data (on a folder,
// add a file and add a folder), delete a child, delete, change the access list or the owner,
// and the generic write and all.
inline constexpr std::uint32_t kWriteRights =
    0x0002u | 0x0004u | 0x0040u | 0x00010000u | 0x00040000u | 0x00080000u | 0x10000000u | 0x40000000u;

struct Entry {
    bool allows = true; // an access-allowed entry; false for any other kind
    std::string sid;
    std::uint32_t rights = 0;
    bool inheritOnly = false; // for what is made inside only, not for this file or folder
};

struct List {
    std::string owner;
    bool present = true;   // false: no access list at all, which lets everybody in
    bool inherits = false; // takes entries from the parent folder
    std::vector<Entry> entries;
};

// The Administrators, SYSTEM and TrustedInstaller.
bool IsAdministrators(const std::string& sid);

// True when an entry that applies to the file or folder itself lets an account other than the
// administrators write it, or there is no list. Entries that deny are not counted: the
// verdict never rests on them.
bool OthersMayWrite(const List& list, const std::string& self = {});

// What the program rewrites at start: a data folder another account may write, owned by
// another, or inheriting from its parent.
bool LessProtectedThanDataFolder(const List& list);

// Why the maintenance script `file` in `folder` must not be run (as SYSTEM under the service);
// empty when it may. The account `self` this process runs as counts with the administrators.
std::string ScriptRefusal(const List& folderList, const std::string& folder, const List& fileList,
                          const std::string& file, const std::string& self);

} // namespace veltor::access
