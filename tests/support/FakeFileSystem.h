#pragma once
// An in-memory file system for unit tests. Files are byte strings by path; folders are a set
// of paths. Paths are compared as written (no normalisation), so a test uses one spelling.

#include "ports/Errors.h"
#include "ports/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace veltor::test {

class FakeFileSystem : public IFileSystem {
public:
    // Contents by path.
    std::map<std::string, std::string> files;
    std::set<std::string> directories;

    // Opening one of these for reading raises.
    std::set<std::string> unreadable;
    // Reading one of these raises once this many bytes have been handed out.
    std::map<std::string, std::size_t> readFailsAfter;
    // At most this many bytes per Read (to cut lines across reads).
    std::size_t readChunk = 4096;
    // Opening one of these for appending raises (no rights, missing folder...).
    std::set<std::string> notWritable;
    // Held open for writing by another process: opening for appending is refused.
    std::set<std::string> heldByOtherWriter;
    // The write-out of these at Close raises (the file is released all the same).
    std::set<std::string> writeOutFails;
    // Listing these folders raises.
    std::set<std::string> unlistable;
    // Copies to these fail.
    std::set<std::string> copyFails;
    // Creating these folders raises.
    std::set<std::string> cannotCreate;
    char separator = '/';

    // Every CreateDirectory and CopyFileNoOverwrite call, in order.
    std::vector<std::string> createdDirectories;
    std::vector<std::pair<std::string, std::string>> copies;
    // Every name a PublishFile gave, in order.
    std::vector<std::string> published;
    // Paths open for appending now.
    std::set<std::string> openForAppend;

    void AddFile(const std::string& path, const std::string& bytes) { files[path] = bytes; }
    std::optional<std::string> Content(const std::string& path) const {
        auto it = files.find(path);
        if (it == files.end()) return std::nullopt;
        return it->second;
    }

    bool FileExists(const std::string& path) const override { return files.count(path) != 0; }
    bool DirectoryExists(const std::string& path) const override { return directories.count(path) != 0; }

    void CreateDirectory(const std::string& path) override {
        createdDirectories.push_back(path);
        if (cannotCreate.count(path) != 0) Fail(EACCES);
        if (directories.count(path) != 0 || files.count(path) != 0) Fail(EEXIST);
        directories.insert(path);
    }

    bool CopyFileNoOverwrite(const std::string& from, const std::string& to) override {
        copies.emplace_back(from, to);
        auto source = files.find(from);
        if (source == files.end() || files.count(to) != 0 || copyFails.count(to) != 0) return false;
        files[to] = source->second;
        return true;
    }

    std::unique_ptr<IInputFile> OpenForReading(const std::string& path, Links = Links::Refuse) override {
        auto it = files.find(path);
        if (it == files.end()) Fail(ENOENT);
        if (unreadable.count(path) != 0) Fail(EACCES);
        std::optional<std::size_t> failAfter;
        if (auto f = readFailsAfter.find(path); f != readFailsAfter.end()) failAfter = f->second;
        return std::make_unique<InputFile>(it->second, readChunk, failAfter);
    }

    std::unique_ptr<IAppendFile> OpenForAppend(const std::string& path) override {
        if (notWritable.count(path) != 0) Fail(EACCES);
        if (heldByOtherWriter.count(path) != 0 || openForAppend.count(path) != 0) Fail(EWOULDBLOCK);
        files.try_emplace(path);
        openForAppend.insert(path);
        return std::make_unique<AppendFile>(*this, path);
    }

    std::unique_ptr<IAppendFile> CreateNew(const std::string& path) override {
        if (files.count(path) != 0 || directories.count(path) != 0) Fail(EEXIST);
        return OpenForAppend(path);
    }

    void PublishFile(const std::string& from, const std::string& to, Existing existing) override {
        auto it = files.find(from);
        if (it == files.end()) Fail(ENOENT);
        if (openForAppend.count(from) != 0 || notWritable.count(to) != 0) Fail(EACCES);
        if (existing == Existing::Keep && files.count(to) != 0) Fail(EEXIST);
        published.push_back(to);
        std::string bytes = std::move(it->second);
        files.erase(it);
        files[to] = std::move(bytes);
    }

    bool RemoveFile(const std::string& path) override {
        if (openForAppend.count(path) != 0 || notWritable.count(path) != 0) Fail(EACCES);
        return files.erase(path) != 0;
    }

    // The names of the files directly in `folder` (which ends with the separator or not).
    std::vector<std::string> ListFiles(const std::string& folder) const override {
        if (unlistable.count(folder) != 0) Fail(EACCES);
        std::string prefix = folder;
        if (prefix.empty() || prefix.back() != separator) prefix += separator;
        std::vector<std::string> names;
        for (const auto& [path, bytes] : files) {
            if (path.compare(0, prefix.size(), prefix) != 0) continue;
            const std::string name = path.substr(prefix.size());
            if (name.find(separator) == std::string::npos) names.push_back(name);
        }
        return names;
    }

    std::uint64_t FileSize(const std::string& path) const override {
        auto it = files.find(path);
        if (it == files.end()) Fail(ENOENT);
        return it->second.size();
    }

    // Locks held by another process; the ones this process holds now.
    std::set<std::string> lockedElsewhere;
    std::set<std::string> locked;
    std::unique_ptr<IFileLock> TryLockFile(const std::string& path) override {
        if (lockedElsewhere.count(path) != 0 || locked.count(path) != 0) return nullptr;
        files.try_emplace(path);
        locked.insert(path);
        return std::make_unique<Lock>(*this, path);
    }

    char PathSeparator() const override { return separator; }

    [[noreturn]] static void Fail(int code) { throw OsError(std::strerror(code), static_cast<std::uint32_t>(code)); }

private:
    class Lock : public IFileLock {
    public:
        Lock(FakeFileSystem& files, std::string path) : files_(files), path_(std::move(path)) {}
        ~Lock() override { files_.locked.erase(path_); }

    private:
        FakeFileSystem& files_;
        std::string path_;
    };

    class InputFile : public IInputFile {
    public:
        InputFile(std::string bytes, std::size_t chunk, std::optional<std::size_t> failAfter)
            : bytes_(std::move(bytes)), chunk_(chunk), failAfter_(failAfter) {}
        std::size_t Read(char* buffer, std::size_t size) override {
            if (failAfter_ && pos_ >= *failAfter_) Fail(EIO);
            std::size_t n = std::min({size, chunk_, bytes_.size() - pos_});
            if (failAfter_) n = std::min(n, *failAfter_ - pos_);
            std::copy_n(bytes_.data() + pos_, n, buffer);
            pos_ += n;
            return n;
        }

    private:
        std::string bytes_;
        std::size_t chunk_;
        std::optional<std::size_t> failAfter_;
        std::size_t pos_ = 0;
    };

    // Buffers everything and adds it to the file at Close, as a buffered writer would.
    class AppendFile : public IAppendFile {
    public:
        AppendFile(FakeFileSystem& owner, std::string path) : owner_(&owner), path_(std::move(path)) {}
        ~AppendFile() override {
            try {
                Close();
            } catch (...) {
            }
        }
        void Write(std::string_view bytes) override {
            if (!owner_) Fail(EBADF);
            pending_.append(bytes);
        }
        void Close() override {
            if (!owner_) return;
            FakeFileSystem& owner = *owner_;
            owner_ = nullptr;
            owner.openForAppend.erase(path_);
            if (owner.writeOutFails.count(path_) != 0) Fail(ENOSPC);
            owner.files[path_] += pending_;
        }

    private:
        FakeFileSystem* owner_;
        std::string path_;
        std::string pending_;
    };
};

} // namespace veltor::test
