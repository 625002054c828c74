#pragma once
// The exchange of a company's database file for its restored copy. Paths are UTF-8 texts
// in the platform's own form; failures raise OsError with the system's message.

#include <string>

namespace veltor {

class IDatabaseFiles {
public:
    virtual ~IDatabaseFiles() = default;
    // Gives `restored` what the database server needs to open it in place of `live`: on
    // Linux the owner, group and mode of `live`; nothing on Windows.
    virtual void MatchAccess(const std::string& live, const std::string& restored) = 0;
    // Puts `restored` at the `live` path and keeps the former live file as `kept`. The live
    // path holds a database at every moment, also when a step fails or the process dies
    // between two steps; on a failure the live file is left as it was. A `kept` name that is
    // taken already, or a missing `restored`, fails before anything is touched.
    virtual void SwapInRestored(const std::string& live, const std::string& restored, const std::string& kept) = 0;
};

} // namespace veltor
