#pragma once
#include <string>
#include <vector>

namespace veltor::test {

// Who may write a scratch folder: everybody (the Firebird server's user writes databases and
// backups there), or only root, in a folder whose folders above let nobody else move it, as an
// installation folder is.
enum class Writers { Everybody, RootOnly };

// A fresh folder under /var/tmp, removed with everything in it when the object goes.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& tag = "scratch", Writers writers = Writers::Everybody);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }
    // path() + "/" + name
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Writes bytes to a file, replacing it.
void WriteFile(const std::string& path, const std::string& bytes);
// The whole content of a file; fails the test when it cannot be read.
std::string ReadFile(const std::string& path);
// The paths of the entries of `folder` whose names match the regular expression `pattern`.
std::vector<std::string> FilesLike(const std::string& folder, const std::string& pattern);

} // namespace veltor::test
