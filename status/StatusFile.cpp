#include "status/StatusFile.h"

#include "status/Json.h"

#include <algorithm>
#include <exception>
#include <memory>

namespace veltor {
namespace {

constexpr const char* kProgram = "veltor-backups";
constexpr int kFormat = 1;

json::Value BackupJson(const BackupRecord& record) {
    json::Value members = {{"at", record.at}, {"outcome", record.outcome}};
    if (!record.message.empty()) members["message"] = record.message;
    if (!record.file.empty()) members["file"] = record.file;
    if (record.bytes) members["bytes"] = *record.bytes;
    if (record.seconds) members["seconds"] = *record.seconds;
    members["verified"] = record.verified ? json::Value(*record.verified) : json::Value();
    if (!record.verification.empty()) members["verification"] = record.verification;
    if (record.nextTransaction) members["nextTransaction"] = *record.nextTransaction;
    return members;
}

std::optional<BackupRecord> BackupOf(const json::Value* value) {
    if (!value || !value->is_object()) return std::nullopt;
    BackupRecord record;
    record.at = json::Text(*value, "at");
    record.outcome = json::Text(*value, "outcome");
    record.message = json::Text(*value, "message");
    record.file = json::Text(*value, "file");
    if (const json::Value* bytes = json::Find(*value, "bytes"); bytes && bytes->is_number_unsigned())
        record.bytes = bytes->get<std::uint64_t>();
    if (const json::Value* seconds = json::Find(*value, "seconds"); seconds && seconds->is_number())
        record.seconds = seconds->get<double>();
    if (const json::Value* verified = json::Find(*value, "verified"); verified && verified->is_boolean())
        record.verified = verified->get<bool>();
    record.verification = json::Text(*value, "verification");
    if (const json::Value* next = json::Find(*value, "nextTransaction");
        next && next->is_number_unsigned() && next->get<std::uint64_t>() <= std::uint64_t{INT64_MAX})
        record.nextTransaction = static_cast<std::int64_t>(next->get<std::uint64_t>());
    return record;
}

json::Value CycleJson(const CycleRecord& record) {
    json::Value members = {{"at", record.at}, {"outcome", record.outcome}};
    if (!record.message.empty()) members["message"] = record.message;
    return members;
}

std::optional<CycleRecord> CycleOf(const json::Value* value) {
    if (!value || !value->is_object()) return std::nullopt;
    return CycleRecord{json::Text(*value, "at"), json::Text(*value, "outcome"), json::Text(*value, "message")};
}

json::Value RestoreJson(const RestoreRecord& record) {
    json::Value members = {{"at", record.at}, {"outcome", record.outcome}};
    if (!record.message.empty()) members["message"] = record.message;
    members["file"] = record.file;
    members["target"] = record.target;
    members["replaced"] = record.replaced;
    return members;
}

std::optional<RestoreRecord> RestoreOf(const json::Value* value) {
    if (!value || !value->is_object()) return std::nullopt;
    RestoreRecord record{json::Text(*value, "at"), json::Text(*value, "outcome"), json::Text(*value, "message"),
                         json::Text(*value, "file"), json::Text(*value, "target")};
    if (const json::Value* replaced = json::Find(*value, "replaced"); replaced && replaced->is_boolean())
        record.replaced = replaced->get<bool>();
    return record;
}

json::Value CopyJson(const CopyRecord& record) {
    json::Value members = {{"at", record.at}, {"outcome", record.outcome}};
    if (!record.message.empty()) members["message"] = record.message;
    members["file"] = record.file;
    if (!record.copy.empty()) members["copy"] = record.copy;
    return members;
}

std::optional<CopyRecord> CopyOf(const json::Value* value) {
    if (!value || !value->is_object()) return std::nullopt;
    return CopyRecord{json::Text(*value, "at"), json::Text(*value, "outcome"), json::Text(*value, "message"),
                      json::Text(*value, "file"), json::Text(*value, "copy")};
}

json::Value BackupsJson(const std::vector<BackupRecord>& records) {
    json::Value items = json::Value::array();
    for (const BackupRecord& record : records)
        items.push_back(BackupJson(record));
    return items;
}

std::vector<BackupRecord> BackupsOf(const json::Value* value) {
    std::vector<BackupRecord> records;
    if (!value || !value->is_array()) return records;
    for (const json::Value& item : *value) {
        if (records.size() == kRecentBackups) break;
        if (std::optional<BackupRecord> record = BackupOf(&item)) records.push_back(std::move(*record));
    }
    return records;
}

} // namespace

std::optional<StatusBook> StatusBook::FromJson(std::string_view text) {
    const json::Value document = json::Parse(text);
    if (json::Text(document, "program") != kProgram) return std::nullopt;
    const json::Value* companies = json::Find(document, "companies");
    if (!companies || !companies->is_array()) return std::nullopt;
    StatusBook book;
    book.updatedAt_ = json::Text(document, "updated");
    for (const json::Value& entry : *companies) {
        const std::string id = json::Text(entry, "id");
        if (id.empty() || book.Find(id)) continue;
        CompanyStatus& company = book.Company(id, json::Text(entry, "code"), json::Text(entry, "name"));
        company.lastAttempt = BackupOf(json::Find(entry, "lastAttempt"));
        company.lastGood = BackupOf(json::Find(entry, "lastGoodBackup"));
        company.lastVerified = BackupOf(json::Find(entry, "lastVerifiedBackup"));
        company.lastCycle = CycleOf(json::Find(entry, "lastCycle"));
        company.lastRestore = RestoreOf(json::Find(entry, "lastRestore"));
        company.recentBackups = BackupsOf(json::Find(entry, "recentBackups"));
        company.lastCopy = CopyOf(json::Find(entry, "lastCopy"));
        company.lastCheckedCopy = CopyOf(json::Find(entry, "lastCheckedCopy"));
    }
    return book;
}

std::string StatusBook::ToJson(const std::string& updatedAt) const {
    std::vector<const CompanyStatus*> ordered;
    for (const CompanyStatus& company : companies_)
        ordered.push_back(&company);
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const CompanyStatus* a, const CompanyStatus* b) { return a->code < b->code; });
    json::Value entries = json::Value::array();
    for (const CompanyStatus* company : ordered) {
        const auto optional = [](const auto& record, auto toJson) { return record ? toJson(*record) : json::Value(); };
        entries.push_back({{"id", company->id},
                           {"code", company->code},
                           {"name", company->name},
                           {"lastAttempt", optional(company->lastAttempt, BackupJson)},
                           {"lastGoodBackup", optional(company->lastGood, BackupJson)},
                           {"lastVerifiedBackup", optional(company->lastVerified, BackupJson)},
                           {"lastCycle", optional(company->lastCycle, CycleJson)}});
        // Written only once there is something in them: a file of a run without restores and
        // before the first good backup reads as before.
        if (company->lastRestore) entries.back()["lastRestore"] = RestoreJson(*company->lastRestore);
        if (!company->recentBackups.empty()) entries.back()["recentBackups"] = BackupsJson(company->recentBackups);
        if (company->lastCopy) entries.back()["lastCopy"] = CopyJson(*company->lastCopy);
        if (company->lastCheckedCopy) entries.back()["lastCheckedCopy"] = CopyJson(*company->lastCheckedCopy);
    }
    return json::Write(
        {{"program", kProgram}, {"format", kFormat}, {"updated", updatedAt}, {"companies", std::move(entries)}});
}

CompanyStatus& StatusBook::Company(const std::string& id, const std::string& code, const std::string& name) {
    auto it = index_.find(id);
    if (it == index_.end()) {
        index_.emplace(id, companies_.size());
        companies_.push_back(CompanyStatus{id, code, name, {}, {}, {}, {}, {}, {}, {}, {}});
        return companies_.back();
    }
    CompanyStatus& company = companies_[it->second];
    company.code = code;
    company.name = name;
    return company;
}

const CompanyStatus* StatusBook::Find(const std::string& id) const {
    auto it = index_.find(id);
    return it == index_.end() ? nullptr : &companies_[it->second];
}

void StatusBook::KeepOnly(const std::set<std::string>& ids) {
    std::erase_if(companies_, [&](const CompanyStatus& company) { return ids.count(company.id) == 0; });
    index_.clear();
    for (std::size_t i = 0; i < companies_.size(); ++i)
        index_.emplace(companies_[i].id, i);
}

StatusBook LoadStatusBook(IFileSystem& files, const std::string& path, std::string* problem) {
    try {
        if (!files.FileExists(path)) {
            // Missing, or in a folder this user may not look into: the system's word tells which.
            if (problem) {
                std::string why = "no existe";
                try {
                    files.OpenForReading(path);
                } catch (const std::exception& e) {
                    why = e.what();
                }
                *problem = "no se encontró el archivo de estado " + path + ": " + why;
            }
            return {};
        }
        const std::unique_ptr<IInputFile> file = files.OpenForReading(path);
        std::string text;
        char buffer[64 * 1024];
        for (std::size_t n; (n = file->Read(buffer, sizeof buffer)) > 0;)
            text.append(buffer, n);
        if (std::optional<StatusBook> book = StatusBook::FromJson(text)) return std::move(*book);
        if (problem) *problem = "el archivo de estado no es legible: " + path;
    } catch (const std::exception& e) {
        if (problem) *problem = "no se pudo leer el archivo de estado " + path + ": " + e.what();
    }
    return {};
}

void ReplaceFileContent(IFileSystem& files, const std::string& path, std::string_view bytes) {
    const std::string temporary = path + ".tmp";
    // What an earlier run left, or somebody put, under the temporary name goes as a name;
    // CreateNew then refuses whatever appears there again.
    files.RemoveFile(temporary);
    try {
        const std::unique_ptr<IAppendFile> file = files.CreateNew(temporary);
        file->Write(bytes);
        file->Close();
        files.PublishFile(temporary, path, IFileSystem::Existing::Replace);
    } catch (const std::exception&) {
        try {
            files.RemoveFile(temporary);
        } catch (const std::exception&) {
            // The first failure is the one to tell.
        }
        throw;
    }
}

} // namespace veltor
