#include "kxviewer/table/tabletextwriter.h"

#include <cstring>
#include <string_view>

#include "kxlib/kxdrecord.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/table/exportfile.h"
#include "kxviewer/table/tabtable.h"

namespace {
// The lines gather in blocks of about this many bytes before a write.
constexpr size_t BLOCK_BYTES = 1 << 20;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// A CSV field: quoted only when it holds the delimiter, a double quote or a
// line end, its double quotes doubled; any other field keeps its bytes.
void AppendCsvField(std::string& out, const char* text, size_t size)
{
    const std::string_view value(text, size);
    if (value.find_first_of(",\"\r\n") == std::string_view::npos) {
        out.append(value);
        return;
    }
    out += '"';
    for (char c : value) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}
} // namespace

TableTextWriter::TableTextWriter(const TabTable& tab, Format format)
    : table_(*tab.Table),
      format_(format),
      formatter_(tab.ColumnFields(), tab.Table->TimeNormalised(), tab.Prefs.IndentText != 0,
                 RowFormatter::ExportStyle(tab.Prefs.ExportRowNumbColumn != 0, tab.Table->RowCount()))
{
}

void TableTextWriter::AppendHeader(std::string& out) const
{
    if (format_ == TEXT)
        out += formatter_.Header().toLocal8Bit().toStdString();
}

void TableTextWriter::AppendRow(std::string& out, int32_t row) const
{
    const KxdRecord& record = *table_.GetRecord(row);
    if (format_ == TEXT) {
        formatter_.AppendRow(out, row, record);
        return;
    }
    bool first = true;
    for (int32_t field : formatter_.Fields()) {
        if (!first)
            out += ',';
        first = false;
        const char* text = field >= 0 && field < FIELD_Nums ? record.Text(field) : "";
        const char* end = text + strlen(text);
        while (text < end && IsBlank(*text))
            ++text;
        while (end > text && IsBlank(end[-1]))
            --end;
        AppendCsvField(out, text, size_t(end - text));
    }
    out += '\n';
}

void TableTextWriter::AppendAll(std::string& out, const Spans& spans) const
{
    AppendHeader(out);
    for (const auto& span : spans)
        for (int32_t row = span.first; row <= span.second; ++row)
            AppendRow(out, row);
}

bool TableTextWriter::Write(ExportFile& file, const Spans& spans) const
{
    std::string block;
    block.reserve(BLOCK_BYTES + BLOCK_BYTES / 4);
    AppendHeader(block);
    for (const auto& span : spans) {
        for (int32_t row = span.first; row <= span.second; ++row) {
            AppendRow(block, row);
            if (block.size() >= BLOCK_BYTES) {
                if (!file.WriteAll(block.data(), qint64(block.size())))
                    return false;
                block.clear();
            }
        }
    }
    return file.WriteAll(block.data(), qint64(block.size()));
}
