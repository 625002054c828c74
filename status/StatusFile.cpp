#include "status/StatusFile.h"

#include <algorithm>
#include <exception>
#include <memory>

namespace veltor {
namespace {

constexpr const char* kProgram = "veltor-backups";
constexpr int kFormat = 1;

json::Value BackupJson(const BackupRecord& record) {
    json::Object members = {{"at", record.at}, {"outcome", record.outcome}};
    if (!record.message.empty()) members.emplace_back("message", record.message);
    if (!record.file.empty()) members.emplace_back("file", record.file);
    if (record.bytes) members.emplace_back("bytes", *record.bytes);
    if (record.seconds) members.emplace_back("seconds", *record.seconds);
    members.emplace_back("verified", record.verified ? json::Value(*record.verified) : json::Value());
    if (!record.verification.empty()) members.emplace_back("verification", record.verification);
    return members;
}

std::optional<BackupRecord> BackupOf(const json::Value* value) {
    if (!value || !value->AsObject()) return std::nullopt;
    BackupRecord record;
    record.at = value->Text("at");
    record.outcome = value->Text("outcome");
    record.message = value->Text("message");
    record.file = value->Text("file");
    if (const auto bytes = value->Number("bytes"); bytes && *bytes >= 0)
        record.bytes = static_cast<std::uint64_t>(*bytes);
    record.seconds = value->Number("seconds");
    if (const json::Value* verified = value->Find("verified"); verified && verified->AsBool())
        record.verified = *verified->AsBool();
    record.verification = value->Text("verification");
    return record;
}

json::Value CycleJson(const CycleRecord& record) {
    json::Object members = {{"at", record.at}, {"outcome", record.outcome}};
    if (!record.message.empty()) members.emplace_back("message", record.message);
    return members;
}

std::optional<CycleRecord> CycleOf(const json::Value* value) {
    if (!value || !value->AsObject()) return std::nullopt;
    return CycleRecord{value->Text("at"), value->Text("outcome"), value->Text("message")};
}

} // namespace

std::optional<StatusBook> StatusBook::FromJson(std::string_view text) {
    const std::optional<json::Value> document = json::Parse(text);
    if (!document || document->Text("program") != kProgram) return std::nullopt;
    const json::Value* companies = document->Find("companies");
    if (!companies || !companies->AsArray()) return std::nullopt;
    StatusBook book;
    book.updatedAt_ = document->Text("updated");
    for (const json::Value& entry : *companies->AsArray()) {
        const std::string id = entry.Text("id");
        if (id.empty() || book.Find(id)) continue;
        CompanyStatus& company = book.Company(id, entry.Text("code"), entry.Text("name"));
        company.lastAttempt = BackupOf(entry.Find("lastAttempt"));
        company.lastGood = BackupOf(entry.Find("lastGoodBackup"));
        company.lastVerified = BackupOf(entry.Find("lastVerifiedBackup"));
        company.lastCycle = CycleOf(entry.Find("lastCycle"));
    }
    return book;
}

std::string StatusBook::ToJson(const std::string& updatedAt) const {
    std::vector<const CompanyStatus*> ordered;
    for (const CompanyStatus& company : companies_)
        ordered.push_back(&company);
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const CompanyStatus* a, const CompanyStatus* b) { return a->code < b->code; });
    json::Array entries;
    for (const CompanyStatus* company : ordered) {
        json::Object members = {{"id", company->id}, {"code", company->code}, {"name", company->name}};
        members.emplace_back("lastAttempt", company->lastAttempt ? BackupJson(*company->lastAttempt) : json::Value());
        members.emplace_back("lastGoodBackup", company->lastGood ? BackupJson(*company->lastGood) : json::Value());
        members.emplace_back("lastVerifiedBackup",
                             company->lastVerified ? BackupJson(*company->lastVerified) : json::Value());
        members.emplace_back("lastCycle", company->lastCycle ? CycleJson(*company->lastCycle) : json::Value());
        entries.emplace_back(std::move(members));
    }
    return json::Write(json::Object{
        {"program", kProgram}, {"format", kFormat}, {"updated", updatedAt}, {"companies", std::move(entries)}});
}

CompanyStatus& StatusBook::Company(const std::string& id, const std::string& code, const std::string& name) {
    auto it = index_.find(id);
    if (it == index_.end()) {
        index_.emplace(id, companies_.size());
        companies_.push_back(CompanyStatus{id, code, name, {}, {}, {}, {}});
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
