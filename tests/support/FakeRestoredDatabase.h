#pragma once
// A restored database for unit tests: online or not as told, its tables' rows as set; records
// the databases asked.

#include "backup/Verification.h"

#include <string>
#include <vector>

namespace veltor::test {

class ScriptedRestoredDatabase : public IRestoredDatabase {
public:
    bool online = true;
    TableRows rows{{"MOVS", 3}};
    std::vector<std::string> asked;
    bool IsOnline(const std::string& database) override {
        asked.push_back(database);
        return online;
    }
    TableRows CountRows(const std::string& database) override {
        asked.push_back(database);
        return rows;
    }
};

} // namespace veltor::test
