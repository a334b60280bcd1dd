#include "row_writer.h"

#include <optional>

#include "csv_file.h"
#include "jet/jet.h"
#include "platform/ansitext.h"
#include "text/codepage.h"
#include "text/utf8.h"
#include "text_encoding.h"
#include "xlsx_file.h"

namespace output {
namespace {

class CsvWriter final : public RowWriter {
public:
    explicit CsvWriter(bool alwaysUtf8) : always_utf8_(alwaysUtf8) {}

    Status Create(const std::string& outputPath, const std::vector<OutputField>& fields) override
    {
        fields_ = fields;
        file_.emplace(PathFromUtf8(outputPath));
        Status written = always_utf8_ ? file_->StartUtf8() : Status{};
        if (written.ok())
            written = file_->WriteLine(HeaderCells(fields_));
        if (!written.ok())
            written.code = Errc::cannot_create;
        return written;
    }

    Status Append(const std::string& drawingPath, const std::vector<extract::AttributeRecord>& records,
                  Adjustment&) override
    {
        return file_->WriteLine(RowCells(drawingPath, fields_, records));
    }

    // Every line is complete on disk once written.
    Status Close() override { return {}; }

private:
    bool always_utf8_;
    std::vector<OutputField> fields_;
    std::optional<CsvFile> file_;
};

class DatabaseWriter final : public RowWriter {
public:
    explicit DatabaseWriter(jet::Version version) : version_(version) {}

    Status Create(const std::string& outputPath, const std::vector<OutputField>& fields) override
    {
        fields_ = fields;
        std::vector<std::string> columns{kLocationColumn};
        for (const auto& field : fields) columns.push_back(field.FieldName);
        const std::filesystem::path path = PathFromUtf8(outputPath);
        if (const jet::Status created = jet::create(path, version_, "Main", columns); !created.ok())
            return FromJet(Errc::cannot_create, created);
        // Every append reaches the disk before it returns, so the file stays
        // whole between rows while it is held open.
        if (const jet::Status opened = jet::Database::open(path, db_); !opened.ok())
            return FromJet(Errc::cannot_create, opened);
        return {};
    }

    Status Append(const std::string& drawingPath, const std::vector<extract::AttributeRecord>& records,
                  Adjustment& changed) override;

    Status Close() override
    {
        const jet::Status closed = db_.close();
        return closed.ok() ? Status{} : FromJet(Errc::cannot_write, closed);
    }

private:
    jet::Version version_;
    std::vector<OutputField> fields_;
    jet::Database db_;
};

Status DatabaseWriter::Append(const std::string& drawingPath, const std::vector<extract::AttributeRecord>& records,
                              Adjustment& changed)
{
    // Values are looked up by the field's tag, whatever its column is called;
    // "Location" always holds the path.
    std::vector<std::optional<std::string>> values;
    values.reserve(fields_.size() + 1);
    values.emplace_back(drawingPath);
    for (const auto& field : fields_) {
        if (const std::string* value = extract::FirstValue(records, field.Tag))
            values.emplace_back(*value);
        else
            values.emplace_back(std::nullopt);
    }
    auto columnName = [this](std::size_t i) -> std::string {
        return i == 0 ? std::string(kLocationColumn) : fields_[i - 1].FieldName;
    };

    // Access 97 keeps to the ANSI code page; neither version takes malformed
    // UTF-8 (a path's bytes may be), which would otherwise fit at no length.
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!values[i])
            continue;
        bool replaced = false;
        std::string fitted;
        if (version_ == jet::Version::Jet3) {
            fitted = platform::replaceOutsideAnsi(*values[i], replaced);
        } else if (!text::valid_utf8(*values[i])) {
            fitted = text::decode_lossy(*values[i], "UTF-8");
            replaced = true;
        }
        if (replaced) {
            values[i] = std::move(fitted);
            changed.Replaced.push_back(columnName(i));
        }
    }
    // Cap every value at one length, the longest that lets the record fit:
    // only the longest values lose characters.
    auto capped = [&values](std::size_t cap) {
        std::vector<std::optional<std::string>> out = values;
        for (auto& value : out) {
            if (value)
                value = std::string(truncate_utf16(*value, cap));
        }
        return out;
    };
    std::size_t cap = jet::max_text_chars();
    if (!jet::row_fits(version_, capped(cap))) {
        std::size_t low = 0;  // the binary search keeps row_fits(low) or low == 0
        std::size_t high = cap;
        while (low + 1 < high) {
            const std::size_t mid = (low + high) / 2;
            if (jet::row_fits(version_, capped(mid)))
                low = mid;
            else
                high = mid;
        }
        cap = low;
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i] && utf16_length(*values[i]) > cap) {
            values[i] = std::string(truncate_utf16(*values[i], cap));
            changed.Shortened.push_back(columnName(i));
        }
    }
    if (const jet::Status appended = db_.append(values); !appended.ok())
        return FromJet(Errc::cannot_write, appended);
    return {};
}

class XlsxWriter final : public RowWriter {
public:
    Status Create(const std::string& outputPath, const std::vector<OutputField>& fields) override
    {
        fields_ = fields;
        return file_.Create(PathFromUtf8(outputPath), HeaderCells(fields_));
    }

    Status Append(const std::string& drawingPath, const std::vector<extract::AttributeRecord>& records,
                  Adjustment& changed) override
    {
        CellChanges changes;
        Status appended = file_.Append(RowCells(drawingPath, fields_, records), changes);
        changed.Shortened = std::move(changes.Shortened);
        changed.Replaced = std::move(changes.Replaced);
        return appended;
    }

    Status Close() override { return file_.Close(); }

private:
    std::vector<OutputField> fields_;
    XlsxFile file_;
};

}  // namespace

std::unique_ptr<RowWriter> MakeRowWriter(OutputKind kind, bool csvAlwaysUtf8)
{
    switch (kind) {
    case OutputKind::Access97: return std::make_unique<DatabaseWriter>(jet::Version::Jet3);
    case OutputKind::Access2000: return std::make_unique<DatabaseWriter>(jet::Version::Jet4);
    case OutputKind::Csv: return std::make_unique<CsvWriter>(csvAlwaysUtf8);
    case OutputKind::Xlsx: return std::make_unique<XlsxWriter>();
    }
    return nullptr;
}

std::vector<std::string_view> HeaderCells(const std::vector<OutputField>& fields)
{
    std::vector<std::string_view> cells{"File Name"};
    for (const auto& field : fields) cells.push_back(field.Tag);
    return cells;
}

std::vector<std::string_view> RowCells(const std::string& drawingPath, const std::vector<OutputField>& fields,
                                       const std::vector<extract::AttributeRecord>& records)
{
    std::vector<std::string_view> cells{drawingPath};
    for (const auto& field : fields) {
        const std::string* value = extract::FirstValue(records, field.Tag);
        cells.push_back(value ? std::string_view(*value) : std::string_view());
    }
    return cells;
}

}  // namespace output
