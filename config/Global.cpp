#include "config/Global.h"

#include "config/PathParts.h"

#include <limits>

#include <array>
#include <memory>
#include <utility>

namespace veltor {
namespace {

constexpr const char* kConfigurationFile = "ADMINBD.inf";
constexpr const char* kTemplateFile = "ADMINBD.cop";
constexpr const char* kFileNotFound = "No se encontró el archivo ADMINBD.inf";
constexpr const char* kIncompleteFile = "Parámetros Incorrectos del Archivo ADMINBD.inf";

constexpr char kEndOfFileMark = 26; // Ctrl-Z

// Blanks and control characters: everything up to and including the space.
bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

std::string_view Strip(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// Splits the bytes of a text file into lines: a line ends at LF, every CR is dropped, and a
// Ctrl-Z at the start of a line ends the file. The last line needs no line end.
class LineReader {
public:
    explicit LineReader(IInputFile& file) : file_(file) {}

    bool Next(std::string& line) {
        line.clear();
        bool any = false;
        for (;;) {
            if (pos_ == size_) {
                if (ended_) return any;
                size_ = file_.Read(buffer_.data(), buffer_.size());
                pos_ = 0;
                if (size_ == 0) {
                    ended_ = true;
                    return any;
                }
            }
            const char c = buffer_[pos_++];
            if (c == '\n') return true;
            if (c == '\r') {
                any = true;
                continue;
            }
            if (c == kEndOfFileMark && line.empty()) {
                ended_ = true;
                size_ = pos_ = 0;
                return false;
            }
            any = true;
            line.push_back(c);
        }
    }

private:
    IInputFile& file_;
    std::array<char, 4096> buffer_{};
    std::size_t pos_ = 0;
    std::size_t size_ = 0;
    bool ended_ = false;
};

} // namespace

TGlobal::TGlobal(IFileSystem& files, IMessageBox& messages, ConfigurationRules rules)
    : files_(files), messages_(messages), rules_(std::move(rules)) {}

void TGlobal::ReadConfiguration() {
    try {
        if (!files_.FileExists(kConfigurationFile)) files_.CopyFileNoOverwrite(kTemplateFile, kConfigurationFile);
    } catch (...) {
        // A failed copy shows up as the missing file below.
    }
    try {
        // The installation folder is the administrator's alone: a link there to a file kept
        // elsewhere is theirs, and followed.
        std::unique_ptr<IInputFile> file = files_.OpenForReading(kConfigurationFile, Links::Follow);
        BackupFolder = rules_.defaultBackupFolder;
        KeepBackups.reset();
        KeepCopies.reset();
        VerifyBackups.reset();
        ExternalFolder.reset();
        KeepExternal.reset();
        BackupScript.reset();
        FailureScript.reset();
        ParallelBackups.reset();
        std::string databasePath;
        LineReader lines(*file);
        std::string line;
        while (lines.Next(line))
            ApplyLine(line, databasePath);
        file.reset();
        if (AdminConnection.empty()) messages_.ShowError(kIncompleteFile);
    } catch (...) {
        try {
            messages_.ShowError(kFileNotFound);
        } catch (...) {
            // The caller goes on with the values it has whatever happens to the box.
        }
    }
}

void TGlobal::ApplyLine(std::string_view rawLine, std::string& databasePath) {
    const std::string_view line = Strip(rawLine);
    const std::string upper = UpperCaseAscii(line);
    auto valueAfter = [&](std::size_t keyLength) {
        return std::string(Strip((rules_.upperCaseValues ? std::string_view(upper) : line).substr(keyLength)));
    };

    static constexpr std::string_view kServer = "SERVIDOR=";
    static constexpr std::string_view kDatabasePath = "RUTABD=";
    static constexpr std::string_view kDefaultFlag = "PREDETERMINADO=";
    static constexpr std::string_view kClientPath = "RUTACLBD=";
    static constexpr std::string_view kBackupFolder = "RUTABACKUP=";
    static constexpr std::string_view kTimerPeriod = "TIMERBACKUPLICENCE=";
    static constexpr std::string_view kKeepBackups = "CONSERVARBACKUPS=";
    static constexpr std::string_view kKeepCopies = "CONSERVARCOPIAS=";
    static constexpr std::string_view kVerifyBackups = "VERIFICARBACKUP=";
    static constexpr std::string_view kExternalFolder = "COPIAEXTERNA=";
    static constexpr std::string_view kKeepExternal = "CONSERVAREXTERNAS=";
    static constexpr std::string_view kBackupScript = "SCRIPTBACKUP=";
    static constexpr std::string_view kFailureScript = "SCRIPTFALLO=";
    static constexpr std::string_view kParallelBackups = "BACKUPSPARALELO=";

    if (StartsWith(upper, kServer)) {
        ServerName = valueAfter(kServer.size());
        AdminConnection = ServerName + ":" + databasePath;
    } else if (StartsWith(upper, kDatabasePath)) {
        databasePath = valueAfter(kDatabasePath.size());
    } else if (StartsWith(upper, kDefaultFlag)) {
        DefaultFlag = valueAfter(kDefaultFlag.size());
    } else if (StartsWith(upper, kClientPath)) {
        ClientDatabasePath = valueAfter(kClientPath.size());
    } else if (StartsWith(upper, kBackupFolder)) {
        BackupFolder = valueAfter(kBackupFolder.size());
    } else if (StartsWith(upper, kTimerPeriod)) {
        BackupTimerPeriod = valueAfter(kTimerPeriod.size());
    } else if (StartsWith(upper, kKeepBackups)) {
        KeepBackups = valueAfter(kKeepBackups.size());
    } else if (StartsWith(upper, kKeepCopies)) {
        KeepCopies = valueAfter(kKeepCopies.size());
    } else if (StartsWith(upper, kVerifyBackups)) {
        VerifyBackups = valueAfter(kVerifyBackups.size());
    } else if (StartsWith(upper, kExternalFolder)) {
        ExternalFolder = valueAfter(kExternalFolder.size());
    } else if (StartsWith(upper, kKeepExternal)) {
        KeepExternal = valueAfter(kKeepExternal.size());
    } else if (StartsWith(upper, kBackupScript)) {
        BackupScript = valueAfter(kBackupScript.size());
    } else if (StartsWith(upper, kFailureScript)) {
        FailureScript = valueAfter(kFailureScript.size());
    } else if (StartsWith(upper, kParallelBackups)) {
        ParallelBackups = valueAfter(kParallelBackups.size());
    }
}

std::string TGlobal::FieldOf(std::string_view text, int index, char separator) {
    std::size_t start = 0;
    for (int skipped = 0; skipped < index; ++skipped) {
        const std::size_t next = text.find(separator, start);
        if (next == std::string_view::npos) return {};
        start = next + 1;
    }
    const std::size_t end = text.find(separator, start);
    return std::string(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

std::string TGlobal::PadNumber(long long number, int width) {
    if (width <= 0) return {};
    const std::string padded = std::string(static_cast<std::size_t>(width), '0') + std::to_string(number);
    return padded.substr(padded.size() - static_cast<std::size_t>(width));
}

std::string TGlobal::SqlDateText(const LocalDateTime& date) {
    return PadNumber(MonthOfDate(date), 2) + "/" + PadNumber(DayOfDate(date), 2) + "/" + PadNumber(YearOfDate(date), 4);
}

int TGlobal::OsGeneration(const IOsVersion& version) {
    const std::optional<OsVersionInfo> info = version.Query();
    if (!info) return 0;
    constexpr std::uint32_t kWindows9x = 1;
    constexpr std::uint32_t kWindowsNt = 2;
    if (info->platformId == kWindows9x) return 3;
    if (info->platformId != kWindowsNt) return 0;
    if (info->major <= 4) return 4;
    if (info->major == 5) {
        if (info->minor == 0) return 4;
        if (info->minor == 1) return 5;
        return 0;
    }
    if (info->major == 6) {
        if (info->minor == 0) return 6;
        if (info->minor == 1) return 7;
    }
    return 0;
}

std::int32_t StrToInt(std::string_view text) {
    auto fail = [text]() -> std::int32_t {
        throw ConvertError("'" + std::string(text) + "' is not a valid integer value.");
    };
    std::size_t at = 0;
    while (at < text.size() && text[at] == ' ')
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    if (at == text.size()) return fail();
    // The magnitude may reach 2^31 for the most negative value.
    constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t value = 0;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (c < '0' || c > '9') return fail();
        value = value * 10 + (c - '0');
        if (value > limit) return fail();
    }
    if (negative) return static_cast<std::int32_t>(-value);
    if (value == limit) return fail();
    return static_cast<std::int32_t>(value);
}

TimerPeriod TimerPeriodOf(std::string_view text) {
    if (text.empty()) text = kDefaultTimerPeriod;
    return {TGlobal::FieldOf(text, 0, ':'), TGlobal::FieldOf(text, 1, ':')};
}

long long TimerPeriodSeconds(const TimerPeriod& period) {
    return StrToInt(period.hours) * 3600LL + StrToInt(period.minutes) * 60LL;
}

std::string ServerTextOf(const TGlobal& global) {
    return global.ServerName.empty() ? std::string("localhost") : global.ServerName;
}

} // namespace veltor
