#include "platform/posix/PosixScriptTrust.h"
#include "platform/posix/PosixFiles.h"

#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltor::posix {
namespace {

// Owned by the administrator, or by the user this process runs as.
bool OwnedByAdministrator(const struct stat& info) {
    return info.st_uid == 0 || info.st_uid == ::geteuid();
}

bool WritableByOthers(const struct stat& info) {
    return (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

// Why the folders above `folder` let somebody else put another folder in its place; empty when
// none does. A folder with the sticky bit (/tmp) lets nobody move what another user owns.
std::string AncestorRefusal(std::string folder) {
    while (folder.size() > 1) {
        const std::size_t slash = folder.rfind('/');
        folder = slash == 0 ? "/" : folder.substr(0, slash);
        struct stat info {};
        if (::lstat(folder.c_str(), &info) != 0) return "no se puede leer la carpeta " + folder;
        if (!OwnedByAdministrator(info)) return "la carpeta no pertenece a root: " + folder;
        if (WritableByOthers(info) && (info.st_mode & S_ISVTX) == 0)
            return "otros usuarios pueden modificar la carpeta: " + folder;
    }
    return {};
}

// True when the file can be run by itself: execute permission, and an interpreter line or a
// program's header at its start.
bool RunsByItself(int fd, const struct stat& info) {
    if ((info.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) == 0) return false;
    char start[4] = {};
    const ssize_t n = ::pread(fd, start, sizeof start, 0);
    if (n >= 2 && start[0] == '#' && start[1] == '!') return true;
    return n == 4 && start[0] == 0x7f && start[1] == 'E' && start[2] == 'L' && start[3] == 'F';
}

} // namespace

TrustedScript CheckScript(const std::string& script) {
    // From the current directory; the "./" also keeps a name that begins with "-" from being
    // read as an option by /bin/sh.
    const std::string path = script.find('/') == std::string::npos ? "./" + script : script;
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == 0 ? "/" : path.substr(0, slash);

    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return {};
    char cwd[PATH_MAX];
    const std::string where = ::getcwd(cwd, sizeof cwd) ? cwd : folder;
    const std::string shown =
        script.find('/') == std::string::npos ? (where == "/" ? "" : where) + "/" + script : script;
    const std::string fullFolder = folder == "." ? where : folder;

    TrustedScript trusted;
    struct stat folderInfo {};
    if (::stat(folder.c_str(), &folderInfo) != 0) return {};
    if (!OwnedByAdministrator(folderInfo)) {
        trusted.refused = "la carpeta no pertenece a root: " + fullFolder;
    } else if (WritableByOthers(folderInfo)) {
        trusted.refused = "otros usuarios pueden modificar la carpeta: " + fullFolder;
    } else if (S_ISLNK(info.st_mode)) {
        trusted.refused = "es un enlace simbólico: " + shown;
    } else if (!S_ISREG(info.st_mode)) {
        return {};
    } else if (!OwnedByAdministrator(info)) {
        trusted.refused = "el archivo no pertenece a root: " + shown;
    } else if (WritableByOthers(info)) {
        trusted.refused = "otros usuarios pueden modificar el archivo: " + shown;
    } else {
        trusted.refused = AncestorRefusal(fullFolder);
    }
    if (!trusted.refused.empty()) return trusted;

    // The folder is the administrator's alone, so the file checked is the file started.
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
    if (!RunsByItself(file.get(), info)) trusted.command.push_back("/bin/sh");
    trusted.command.push_back(path);
    return trusted;
}

} // namespace veltor::posix
