#pragma once
// The administration database held in memory, for unit tests: every selection but those with
// an answer of their own gives `companies`, every command that succeeds is recorded (the
// stamps), and each operation can be made to fail. A statement connects first when the
// connection is down, as over the server, so a connection that fails fails them too.

#include "catalogue/CompanyCatalogue.h"
#include "dbserver/FirebirdError.h"

#include <cstddef>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace veltor::test {

class FakeCatalogue : public catalogue::ICompanyCatalogue, private catalogue::ICompanyRows {
public:
    using Row = std::map<std::string, std::string, std::less<>>; // column -> text
    std::vector<Row> companies;
    // Selections answered with rows of their own (the server's clock), by statement.
    std::map<std::string, std::vector<Row>> answers;
    std::map<std::string, std::string> restoredToday;

    // By operation: "connect" (also the connection a statement makes first), "reconnect",
    // "select", "command", "files", "today"; raised with this message.
    std::map<std::string, std::string> failures;

    std::vector<std::string> connections; // the database string of each ConnectCatalogue
    int reconnections = 0;
    std::vector<std::string> selections; // every statement opened, in order
    std::vector<std::string> commands;   // every command executed without failure, in order

    void ConnectCatalogue(const std::string& databaseString, const std::string&) override {
        Close();
        connected_ = false;
        connections.push_back(databaseString);
        Connect();
    }
    void ConnectAgain() override {
        ++reconnections;
        connected_ = false;
        Fail("reconnect");
        Connect();
    }
    void OpenSelection(const std::string& statement) override {
        Close();
        selections.push_back(statement);
        Connect();
        Fail("select");
        const auto answer = answers.find(statement);
        rows_ = answer == answers.end() ? companies : answer->second;
        position_ = 0;
        active_ = true;
    }
    catalogue::ICompanyRows& Selection() override { return *this; }
    void ExecuteCommand(const std::string& statement) override {
        Connect();
        Fail("command");
        commands.push_back(statement);
    }
    std::vector<catalogue::CompanyFile> CompanyFiles() override {
        Connect();
        Fail("files");
        std::vector<catalogue::CompanyFile> files;
        for (const Row& company : companies)
            files.push_back({Text(company, "EMPRESAID"), Text(company, "ARCHIVO"), TextOrEmpty(company, "CODIGO"),
                             TextOrEmpty(company, "NOMBRE")});
        return files;
    }
    std::map<std::string, std::string> RestoredToday() override {
        Connect();
        Fail("today");
        return restoredToday;
    }

private:
    void First() override { position_ = 0; }
    void Next() override {
        if (position_ < rows_.size()) ++position_;
    }
    bool Eof() const override { return !active_ || position_ >= rows_.size(); }
    bool Active() const override { return active_; }
    void Close() noexcept override {
        active_ = false;
        rows_.clear();
    }
    std::string FieldText(std::string_view column) const override {
        if (Eof()) return {};
        return Text(rows_[position_], column);
    }

    static std::string Text(const Row& row, std::string_view column) {
        const auto value = row.find(column);
        if (value == row.end()) throw std::out_of_range("Column unknown: " + std::string(column));
        return value->second;
    }
    static std::string TextOrEmpty(const Row& row, std::string_view column) {
        const auto value = row.find(column);
        return value == row.end() ? std::string() : value->second;
    }
    void Connect() {
        if (connected_) return;
        Fail("connect");
        connected_ = true;
    }
    void Fail(const std::string& operation) const {
        if (const auto failure = failures.find(operation); failure != failures.end())
            throw fb::FirebirdError(failure->second);
    }

    std::vector<Row> rows_;
    std::size_t position_ = 0;
    bool active_ = false;
    bool connected_ = false;
};

} // namespace veltor::test
