#include "dbserver/SqlDatabase.h"

#include "dbserver/ColumnText.h"
#include "dbserver/FbConstants.h"
#include "dbserver/ParameterBlock.h"

#include <cstddef>
#include <memory>

namespace veltor::sql {
namespace {

// A descriptor area with room for `count` columns, and the buffers its columns point to.
class Descriptor {
public:
    explicit Descriptor(int count) { Allocate(count); }

    fb::SqlDa* da() { return reinterpret_cast<fb::SqlDa*>(memory_.get()); }
    fb::SqlVar& column(int i) { return da()->sqlvar[i]; }
    int described() { return da()->sqld; }
    bool complete() { return da()->sqld <= da()->sqln; }

    void Allocate(int count) {
        if (count < 1) count = 1;
        const std::size_t size = offsetof(fb::SqlDa, sqlvar) + sizeof(fb::SqlVar) * static_cast<std::size_t>(count);
        memory_ = std::make_unique<std::max_align_t[]>(size / sizeof(std::max_align_t) + 1);
        auto* da = new (memory_.get()) fb::SqlDa{};
        da->version = fb::kSqlDaVersion1;
        da->sqln = static_cast<std::int16_t>(count);
    }

    // Points every described column at a buffer of its own.
    void Bind() {
        const int count = described();
        std::size_t total = 0;
        std::vector<std::size_t> offsets;
        for (int i = 0; i < count; ++i) {
            offsets.push_back(total);
            total += (ValueBufferSize(column(i)) + 7) / 8 * 8;
        }
        values_.assign(total / 8 + 1, 0);
        indicators_.assign(static_cast<std::size_t>(count) + 1, 0);
        char* base = reinterpret_cast<char*>(values_.data());
        for (int i = 0; i < count; ++i) {
            column(i).sqldata = base + offsets[static_cast<std::size_t>(i)];
            column(i).sqlind = &indicators_[static_cast<std::size_t>(i)];
        }
    }

private:
    std::unique_ptr<std::max_align_t[]> memory_;
    std::vector<std::uint64_t> values_;
    std::vector<std::int16_t> indicators_;
};

std::string ColumnName(const fb::SqlVar& column) {
    if (column.aliasname_length > 0)
        return std::string(column.aliasname, static_cast<std::size_t>(column.aliasname_length));
    return std::string(column.sqlname, static_cast<std::size_t>(column.sqlname_length));
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto upper = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; };
        if (upper(a[i]) != upper(b[i])) return false;
    }
    return true;
}

} // namespace

std::string SqlDatabase::AttachmentBlock(const std::string& password, fb::FileNameBytes names) {
    fb::ParameterBlock dpb;
    dpb.Byte(fb::dpb::kVersion1)
        .String1(fb::dpb::kUserName, kUserName)
        .String1(fb::dpb::kPassword, password)
        .LengthInt4(fb::dpb::kSqlDialect, kRequestedDialect);
    if (names == fb::FileNameBytes::Utf8) dpb.Flag1(fb::dpb::kUtf8FileName);
    return dpb.bytes();
}

std::string SqlDatabase::TransactionBlock() {
    fb::ParameterBlock tpb;
    tpb.Byte(fb::tpb::kVersion3)
        .Byte(fb::tpb::kWrite)
        .Byte(fb::tpb::kReadCommitted)
        .Byte(fb::tpb::kRecordVersion)
        .Byte(fb::tpb::kWait);
    return tpb.bytes();
}

void SqlDatabase::Connect() {
    if (Connected()) return;
    attachment_.Attach(databaseName_, AttachmentBlock(password_, attachment_.api().fileNames));
}

void SqlDatabase::Disconnect() noexcept {
    attachment_.Release();
}

RowSet SqlDatabase::Run(std::string_view sql, bool readRows, bool* returnedRows) {
    Connect();
    try {
        return RunConnected(sql, readRows, returnedRows);
    } catch (const fb::FirebirdError&) {
        if (!attachment_.Alive()) attachment_.Release();
        throw;
    }
}

RowSet SqlDatabase::RunConnected(std::string_view sql, bool readRows, bool* returnedRows) {
    RowSet result;
    Transaction transaction(attachment_, TransactionBlock());
    {
        Statement statement(attachment_);
        Descriptor out(20);
        statement.Prepare(transaction, sql, kStatementDialect, out.da());
        if (!out.complete()) {
            out.Allocate(out.described());
            statement.Describe(out.da());
        }
        const int type = statement.Type();
        const bool selection = type == fb::kStatementTypeSelect || type == fb::kStatementTypeSelectForUpdate;
        if (returnedRows) *returnedRows = selection;
        out.Bind();
        statement.Execute(transaction);
        if (selection && readRows) {
            const int count = out.described();
            for (int i = 0; i < count; ++i) {
                result.columns.push_back(ColumnName(out.column(i)));
                result.readable.push_back(HasText(out.column(i)));
            }
            while (statement.Fetch(out.da())) {
                std::vector<std::string> row;
                row.reserve(static_cast<std::size_t>(count));
                for (int i = 0; i < count; ++i)
                    row.push_back(ColumnText(out.column(i)));
                result.rows.push_back(std::move(row));
            }
        }
    }
    transaction.Commit();
    return result;
}

void SqlDataset::Open() {
    Close();
    bool selection = false;
    RowSet rows = database_->Run(CommandText, true, &selection);
    if (!selection) throw fb::FirebirdError("la sentencia no devolvió filas");
    rows_ = std::move(rows);
    active_ = true;
    First();
}

void SqlDataset::Close() noexcept {
    active_ = false;
    rows_ = RowSet{};
    position_ = 0;
    eof_ = true;
}

void SqlDataset::First() {
    position_ = 0;
    eof_ = rows_.rows.empty();
}

void SqlDataset::Next() {
    if (position_ + 1 < rows_.rows.size())
        ++position_;
    else
        eof_ = true;
}

std::string SqlDataset::FieldText(std::string_view column) const {
    for (std::size_t i = 0; i < rows_.columns.size(); ++i) {
        if (!SameName(rows_.columns[i], column)) continue;
        if (!rows_.readable[i])
            throw fb::FirebirdError("la columna " + std::string(column) + " no se puede leer como texto");
        if (position_ >= rows_.rows.size()) return {};
        return rows_.rows[position_][i];
    }
    throw fb::FirebirdError("no se encontró la columna " + std::string(column));
}

void SqlCommand::ExecQuery() {
    std::string text;
    for (std::size_t i = 0; i < SQL.size(); ++i) {
        if (i > 0) text += "\r\n";
        text += SQL[i];
    }
    database_->Run(text, false);
}

} // namespace veltor::sql
