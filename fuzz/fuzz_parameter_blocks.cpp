// The parameter-block writers over any parameter lists, requests and passwords. A block
// either comes back whole, and reads back item by item into exactly what was asked, or the
// writer raises its own error; a length that does not fit its field is never cut.

#include "dbserver/FirebirdError.h"
#include "dbserver/FirebirdServiceConnection.h"
#include "dbserver/SqlDatabase.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using veltor::fb::BackupRequest;
using veltor::fb::FirebirdError;
using veltor::fb::RestoreRequest;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_parameter_blocks: %s\n", what);
    std::abort();
}

// Reads a block back the way the server does: tags with 1- or 2-byte lengths or 4-byte values.
class Reader {
public:
    explicit Reader(const std::string& block) : block_(block) {}
    bool AtEnd() const { return at_ == block_.size(); }
    std::uint8_t Byte() {
        if (at_ >= block_.size()) Fail("block ends inside an item");
        return static_cast<std::uint8_t>(block_[at_++]);
    }
    std::uint32_t Little(int width) {
        std::uint32_t value = 0;
        for (int i = 0; i < width; ++i)
            value |= static_cast<std::uint32_t>(Byte()) << (8 * i);
        return value;
    }
    std::string Text(int lengthWidth) {
        const std::size_t length = Little(lengthWidth);
        if (length > block_.size() - at_) Fail("length runs past the block");
        std::string text = block_.substr(at_, length);
        at_ += length;
        return text;
    }
    void Expect(bool condition, const char* what) {
        if (!condition) Fail(what);
    }

private:
    const std::string& block_;
    std::size_t at_ = 0;
};

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

void AttachmentBlock(const std::vector<std::string>& parameters) {
    std::string block;
    try {
        block = veltor::fb::ServiceAttachmentBlock(parameters);
    } catch (const FirebirdError&) {
        return;
    }
    Reader read(block);
    read.Expect(read.Byte() == 2 && read.Byte() == 2, "attachment block without its version");
    for (const std::string& line : parameters) {
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos || line.substr(0, equals).find_first_not_of(" \t\n\v\f\r") == std::string::npos)
            continue;
        std::string name = Lower(line.substr(0, equals));
        if (name.rfind("isc_spb_", 0) == 0) name.erase(0, 8);
        read.Expect(read.Byte() == (name == "user_name" ? 28 : 29), "attachment item with another tag");
        read.Expect(read.Text(1) == line.substr(equals + 1), "attachment value changed");
    }
    read.Expect(read.AtEnd(), "attachment block longer than its items");
}

void Paths(Reader& read, std::uint8_t tag, const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        if (path.empty()) continue;
        read.Expect(read.Byte() == tag, "path with another tag");
        read.Expect(read.Text(2) == path, "path changed");
    }
}

void BackupBlock(const BackupRequest& request) {
    std::string block;
    try {
        block = veltor::fb::BackupStartBlock(request);
    } catch (const FirebirdError&) {
        return;
    }
    Reader read(block);
    read.Expect(read.Byte() == 1, "backup block without its action");
    if (!request.databasePath.empty()) {
        read.Expect(read.Byte() == 106, "database item missing");
        read.Expect(read.Text(2) == request.databasePath, "database path changed");
    }
    read.Expect(read.Byte() == 108 && read.Little(4) == request.options, "backup options changed");
    if (request.verbose) read.Expect(read.Byte() == 107, "verbose item missing");
    if (request.blockingFactor > 0)
        read.Expect(read.Byte() == 6 && read.Little(4) == static_cast<std::uint32_t>(request.blockingFactor),
                    "blocking factor changed");
    Paths(read, 5, request.backupFiles);
    read.Expect(read.AtEnd(), "backup block longer than its items");
}

void RestoreBlock(const RestoreRequest& request) {
    std::string block;
    try {
        block = veltor::fb::RestoreStartBlock(request);
    } catch (const FirebirdError&) {
        return;
    }
    Reader read(block);
    read.Expect(read.Byte() == 2, "restore block without its action");
    read.Expect(read.Byte() == 108 && read.Little(4) == request.options, "restore options changed");
    if (request.verbose) read.Expect(read.Byte() == 107, "verbose item missing");
    if (request.pageSize > 0)
        read.Expect(read.Byte() == 10 && read.Little(4) == static_cast<std::uint32_t>(request.pageSize),
                    "page size changed");
    if (request.pageBuffers > 0)
        read.Expect(read.Byte() == 9 && read.Little(4) == static_cast<std::uint32_t>(request.pageBuffers),
                    "page buffers changed");
    Paths(read, 5, request.backupFiles);
    Paths(read, 106, request.databasePaths);
    read.Expect(read.AtEnd(), "restore block longer than its items");
}

void CatalogueBlock(const std::string& password) {
    std::string block;
    try {
        block = veltor::sql::SqlDatabase::AttachmentBlock(password);
    } catch (const std::length_error&) {
        if (password.size() <= 255) Fail("a password that fits was refused");
        return;
    }
    Reader read(block);
    read.Expect(read.Byte() == 1, "attachment block without its version");
    read.Expect(read.Byte() == 28 && read.Text(1) == "SYSDBA", "user name changed");
    read.Expect(read.Byte() == 29 && read.Text(1) == password, "password changed");
    read.Expect(read.Byte() == 63 && read.Byte() == 4 && read.Little(4) == 3, "dialect changed");
    read.Expect(read.AtEnd(), "attachment block longer than its items");
}

// The input is text: the first line names the writer ("attach", "backup", "restore" or
// "catalogue"), every other line is name=value, and name*N=value stands for the value written N
// times (to reach the limits of the length fields without huge inputs).
struct Item {
    std::string name;
    std::string value;
    std::string line; // as written, with the value repeated
};

std::vector<Item> Items(const std::string& text, std::string& kind) {
    std::vector<Item> items;
    std::size_t start = 0;
    bool first = true;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (first) {
            kind = line;
            first = false;
            continue;
        }
        const std::size_t equals = line.find('=');
        Item item{line.substr(0, equals), equals == std::string::npos ? "" : line.substr(equals + 1), line};
        if (const std::size_t star = item.name.find('*'); star != std::string::npos && equals != std::string::npos) {
            const long count = std::strtol(item.name.c_str() + star + 1, nullptr, 10);
            item.name.erase(star);
            const std::string once = item.value;
            item.value.clear();
            for (long i = 1; i < count && i <= 100000 && item.value.size() < 200000; ++i)
                item.value += once;
            item.value += once;
            item.line = item.name + "=" + item.value;
        }
        items.push_back(std::move(item));
    }
    return items;
}

template <typename Integer> Integer Number(const std::string& text) {
    return static_cast<Integer>(std::strtoll(text.c_str(), nullptr, 0));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string kind;
    const std::vector<Item> items = Items(std::string(reinterpret_cast<const char*>(data), size), kind);
    if (kind == "attach") {
        std::vector<std::string> parameters;
        for (const Item& item : items)
            parameters.push_back(item.line);
        AttachmentBlock(parameters);
    } else if (kind == "backup") {
        BackupRequest request;
        for (const Item& item : items) {
            if (item.name == "db") request.databasePath = item.value;
            if (item.name == "file") request.backupFiles.push_back(item.value);
            if (item.name == "options") request.options = Number<std::uint32_t>(item.value);
            if (item.name == "verbose") request.verbose = item.value == "1";
            if (item.name == "factor") request.blockingFactor = Number<std::int32_t>(item.value);
        }
        BackupBlock(request);
    } else if (kind == "restore") {
        RestoreRequest request;
        for (const Item& item : items) {
            if (item.name == "db") request.databasePaths.push_back(item.value);
            if (item.name == "file") request.backupFiles.push_back(item.value);
            if (item.name == "options") request.options = Number<std::uint32_t>(item.value);
            if (item.name == "verbose") request.verbose = item.value == "1";
            if (item.name == "pagesize") request.pageSize = Number<std::int32_t>(item.value);
            if (item.name == "buffers") request.pageBuffers = Number<std::int32_t>(item.value);
        }
        RestoreBlock(request);
    } else if (kind == "catalogue") {
        for (const Item& item : items)
            if (item.name == "password") CatalogueBlock(item.value);
    }
    return 0;
}
