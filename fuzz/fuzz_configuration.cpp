// The configuration reader over any bytes in ADMINBD.inf. Besides crashes and sanitizer
// findings it checks what must hold for every file: the read never raises, shows at most one
// box, gives values stripped of blanks and control characters (upper-cased under the Windows
// rules), and does not depend on how the file's bytes are split across reads.

#include "config/Global.h"
#include "tests/support/FakeFileSystem.h"
#include "tests/support/FakeMessageBox.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using veltor::ConfigurationRules;
using veltor::TGlobal;

struct Values {
    std::vector<std::string> values;
    std::vector<std::string> boxes;
    bool operator==(const Values&) const = default;
};

Values Read(const std::string& bytes, const ConfigurationRules& rules, std::size_t chunk) {
    veltor::test::FakeFileSystem files;
    veltor::test::FakeMessageBox boxes;
    files.readChunk = chunk;
    files.AddFile("ADMINBD.inf", bytes);
    TGlobal global(files, boxes, rules);
    global.ReadConfiguration();
    return {{global.ServerName, global.AdminConnection, global.DefaultFlag, global.ClientDatabasePath,
             global.BackupFolder, global.BackupTimerPeriod},
            boxes.shown};
}

[[noreturn]] void Fail(const char* what, const std::string& value) {
    std::fprintf(stderr, "fuzz_configuration: %s: [%s]\n", what, value.c_str());
    std::abort();
}

void Check(const Values& read, const ConfigurationRules& rules) {
    if (read.boxes.size() > 1) Fail("more than one box", read.boxes[1]);
    for (std::size_t i = 0; i < read.values.size(); ++i) {
        const std::string& value = read.values[i];
        if (i == 4 && value == rules.defaultBackupFolder) continue;
        // The connection is composed of two stripped values and a colon.
        if (i == 1) {
            if (!value.empty() && value.find(':') == std::string::npos) Fail("connection without a colon", value);
            continue;
        }
        if (!value.empty() &&
            (static_cast<unsigned char>(value.front()) <= 32 || static_cast<unsigned char>(value.back()) <= 32))
            Fail("value not stripped", value);
        if (rules.upperCaseValues)
            for (char c : value)
                if (c >= 'a' && c <= 'z') Fail("value not upper-cased", value);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    ConfigurationRules linuxRules;
    linuxRules.upperCaseValues = false;
    linuxRules.defaultBackupFolder = "/var/lib/veltor/Backups/";
    linuxRules.pathSeparator = '/';
    for (const ConfigurationRules& rules : {ConfigurationRules{}, linuxRules}) {
        const Values whole = Read(bytes, rules, 4096);
        Check(whole, rules);
        // Lines cut across reads of one byte and of seven bytes read the same.
        if (size <= 4096) {
            if (!(Read(bytes, rules, 1) == whole)) Fail("one-byte reads differ", bytes);
            if (!(Read(bytes, rules, 7) == whole)) Fail("seven-byte reads differ", bytes);
        }
    }
    return 0;
}
