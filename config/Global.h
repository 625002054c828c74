#pragma once
// The configuration module: the values read from ADMINBD.inf and the text helpers for
// numbers and dates that the runs use to build file names and SQL literals.

#include "ports/Clock.h"
#include "ports/FileSystem.h"
#include "ports/MessageBox.h"
#include "ports/OsVersion.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace veltor {

// A text that is not a decimal integer.
class ConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The decimal integer of a text: leading blanks, an optional sign and digits that fit 32 bits.
// Raises ConvertError "'<text>' is not a valid integer value." otherwise. The one reading of
// the backup period's hours and minutes, for the window's timer and the due selection alike.
std::int32_t StrToInt(std::string_view text);

// The backup timer's period when ADMINBD.inf names none.
inline constexpr std::string_view kDefaultTimerPeriod = "00:30";

// The backup timer's period "HH:MM" of ADMINBD.inf as the window's timer, the due selection and
// the status check take it: the texts before and after the first ':' (of kDefaultTimerPeriod
// when the text is empty), each read by StrToInt.
struct TimerPeriod {
    std::string hours;
    std::string minutes;
};
TimerPeriod TimerPeriodOf(std::string_view text);

// The period in seconds; raises ConvertError when StrToInt refuses either part.
long long TimerPeriodSeconds(const TimerPeriod& period);

// What differs between the platforms in reading the configuration.
struct ConfigurationRules {
    // Windows upper-cases every value read; on Linux paths are case-sensitive, so values
    // keep their case (keys are recognised in any case on both).
    bool upperCaseValues = true;
    // The backup folder when the file names none, and the folder created before it.
    std::string defaultBackupFolder = "C:\\Datos Veltor\\Backups\\";
    std::string defaultBackupParent = "C:\\Datos Veltor\\";
    char pathSeparator = '\\';
};

class TGlobal {
public:
    TGlobal(IFileSystem& files, IMessageBox& messages, ConfigurationRules rules);

    // Reads ADMINBD.inf from the current directory (copied from ADMINBD.cop when missing).
    // Never raises: problems are shown in error boxes.
    void ReadConfiguration();

    static std::string FieldOf(std::string_view text, int index, char separator);
    static std::string PadNumber(long long number, int width);
    static std::string SqlDateText(const LocalDateTime& date); // MM/DD/YYYY
    static int DayOfDate(const LocalDateTime& date) { return date.day; }
    static int MonthOfDate(const LocalDateTime& date) { return date.month; }
    static int YearOfDate(const LocalDateTime& date) { return date.year; }

    // The Windows generation of the platform version: 3 for the 9x family, 4 for NT 4 and
    // 2000, 5 for XP, 6 for Vista, 7 for 7; 0 for anything else or when the query fails.
    // Needs no configuration, so it may be asked before the module exists.
    static int OsGeneration(const IOsVersion& version);

    const ConfigurationRules& rules() const { return rules_; }

    // Configuration values, empty until a read sets them.
    std::string ServerName;
    std::string AdminConnection;
    std::string DefaultFlag;
    std::string ClientDatabasePath;
    std::string BackupFolder;
    std::string BackupTimerPeriod;
    // Operations an installation asks for, each absent unless the last read that opened the
    // file found its key: "CONSERVARBACKUPS=" (how many .GBK files of a company to keep),
    // "CONSERVARCOPIAS=" (how many kept copies of a database) and "VERIFICARBACKUP=" ("S":
    // restore every scheduled backup to check it). Removing a key switches its operation off.
    std::optional<std::string> KeepBackups;
    std::optional<std::string> KeepCopies;
    std::optional<std::string> VerifyBackups;
    // The second copy: "COPIAEXTERNA=" (a folder on another disk or machine that every good
    // backup is also copied into, checked), "CONSERVAREXTERNAS=" (how many copies of a company
    // to keep there), and the administrator's scripts "SCRIPTBACKUP=" (run after each good
    // backup) and "SCRIPTFALLO=" (run after a run that left a company not done).
    std::optional<std::string> ExternalFolder;
    std::optional<std::string> KeepExternal;
    std::optional<std::string> BackupScript;
    std::optional<std::string> FailureScript;
    // "BACKUPSPARALELO=": how many companies a scheduled run backs up at once.
    std::optional<std::string> ParallelBackups;

private:
    void ApplyLine(std::string_view line, std::string& databasePath);

    IFileSystem& files_;
    IMessageBox& messages_;
    ConfigurationRules rules_;
};

// The configured server name, or "localhost" when none is configured.
std::string ServerTextOf(const TGlobal& global);

} // namespace veltor
