#include "platform/access/AccessRules.h"

#include <algorithm>
#include <array>

namespace veltor::access {

bool IsAdministrators(const std::string& sid) {
    static const std::array<std::string, 3> kAdministrators = {
        "S-1-5-32-544",                                                   // BUILTIN\Administrators
        "S-1-5-18",                                                       // NT AUTHORITY\SYSTEM
        "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", // NT SERVICE\TrustedInstaller
    };
    return std::find(kAdministrators.begin(), kAdministrators.end(), sid) != kAdministrators.end();
}

namespace {

bool Trusted(const std::string& sid, const std::string& self) {
    return IsAdministrators(sid) || (!self.empty() && sid == self);
}

} // namespace

bool OthersMayWrite(const List& list, const std::string& self) {
    if (!list.present) return true;
    return std::any_of(list.entries.begin(), list.entries.end(), [&self](const Entry& entry) {
        return entry.allows && !entry.inheritOnly && (entry.rights & kWriteRights) != 0 && !Trusted(entry.sid, self);
    });
}

bool LessProtectedThanDataFolder(const List& list) {
    return list.inherits || !IsAdministrators(list.owner) || OthersMayWrite(list);
}

std::string ScriptRefusal(const List& folderList, const std::string& folder, const List& fileList,
                          const std::string& file, const std::string& self) {
    // The owner of a file or folder may always change its access list.
    if (!Trusted(folderList.owner, self)) return "la carpeta no pertenece a los administradores: " + folder;
    if (OthersMayWrite(folderList, self)) return "otros usuarios pueden modificar la carpeta: " + folder;
    if (!Trusted(fileList.owner, self)) return "el archivo no pertenece a los administradores: " + file;
    if (OthersMayWrite(fileList, self)) return "otros usuarios pueden modificar el archivo: " + file;
    return {};
}

} // namespace veltor::access
