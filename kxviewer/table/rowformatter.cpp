#include "kxviewer/table/rowformatter.h"

#include <algorithm>
#include <cstring>

#include "kxlib/kxdrecord.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/table/columnwidths.h"

namespace {
// Row numbers take at least this many characters.
constexpr int32_t MIN_NUMBER_WIDTH = 5;
// The markers of a function's enter and leave before an indented TEXT.
constexpr char16_t ENTER_MARK = u'\u00bb';
constexpr char16_t LEAVE_MARK = u'\u00ab';

QString Blanks(int32_t n) { return QString(std::max(n, 0), QLatin1Char(' ')); }

void AddBlanks(std::string& out, int32_t n)
{
    if (n > 0)
        out.append(size_t(n), ' ');
}

int32_t Utf8Chars(const char* text, size_t size)
{
    int32_t chars = 0;
    for (size_t k = 0; k < size; ++k)
        chars += (static_cast<unsigned char>(text[k]) & 0xC0) != 0x80;
    return chars;
}

std::string LocalBytes(char16_t mark)
{
    return QString(QChar(mark)).toLocal8Bit().toStdString();
}
} // namespace

int32_t RowFormatter::NumberWidth(bool rowNumbers, int32_t rows)
{
    return rowNumbers ? std::max<int32_t>(MIN_NUMBER_WIDTH, QString::number(rows).size()) : 0;
}

RowFormatter::Style RowFormatter::ExportStyle(bool rowNumbers, int32_t rows)
{
    Style style;
    style.numberWidth = NumberWidth(rowNumbers, rows);
    style.headerLead = style.numberWidth;
    return style;
}

RowFormatter::Style RowFormatter::ClipboardStyle(bool rowNumbers, int32_t rows)
{
    Style style;
    style.numberWidth = NumberWidth(rowNumbers, rows);
    style.numberAlways = true;
    style.indentUnit = 2;
    style.headerLead = style.numberWidth + 2;
    return style;
}

RowFormatter::RowFormatter(std::vector<int32_t> fields, bool relativeTime, bool indentText, const Style& style)
    : fields_(std::move(fields)),
      indentText_(indentText),
      style_(style),
      enterMark_(LocalBytes(ENTER_MARK)),
      leaveMark_(LocalBytes(LEAVE_MARK))
{
    for (int32_t field = 0; field < FIELD_Nums; ++field)
        widths_[size_t(field)] = ColumnChars(field, relativeTime);
}

int32_t RowFormatter::Width(int32_t field) const
{
    return field >= 0 && field < FIELD_Nums ? widths_[size_t(field)] : 0;
}

void RowFormatter::Widen(int32_t field, int32_t chars)
{
    if (field >= 0 && field < FIELD_Nums)
        widths_[size_t(field)] = std::max(widths_[size_t(field)], chars);
}

QString RowFormatter::Header() const
{
    QString out = Blanks(style_.headerLead);
    for (int32_t field : fields_)
        out += QString::fromLatin1(PrefGlobal::CenterText(FieldTitle(field), Width(field) + 2, ' ', true).c_str());
    out += QLatin1Char('\n');
    return out;
}

QString RowFormatter::Number(int32_t row) const
{
    std::string number;
    AppendNumber(number, row);
    return QString::fromLatin1(number.data(), int(number.size()));
}

void RowFormatter::AppendNumber(std::string& out, int32_t row) const
{
    if (style_.numberWidth == 0 && !style_.numberAlways) {
        out += ' ';
        return;
    }
    const std::string number = std::to_string(row + 1);
    AddBlanks(out, style_.numberWidth - int32_t(number.size()));
    out += number;
    out += ' ';
}

QString RowFormatter::IndentOf(const KxdRecord& record) const
{
    const int32_t chars = IndentChars(record);
    return chars > 0 ? Blanks(chars) : QString();
}

int32_t RowFormatter::IndentChars(const KxdRecord& record) const
{
    const int64_t nest = record.Int64(FIELD_NEST);
    if (!indentText_ || nest < 1)
        return 0;
    return int32_t(std::min<int64_t>(nest * style_.indentUnit, Width(FIELD_TEXT)));
}

RowFormatter::Cell RowFormatter::Format(int32_t field, const QString& text) const
{
    Cell cell;
    cell.value = text;
    const int32_t room = std::max(0, Width(field) - int32_t(text.size()));
    if (FieldIsNumber(field))
        cell.lead = room;
    else
        cell.trail = room;
    return cell;
}

int32_t RowFormatter::AppendLineBytes(std::string& out, const char* text, size_t size)
{
    const size_t from = out.size();
    out.append(text, size);
    for (size_t k = from; k < out.size(); ++k)
        if (out[k] == '\r' || out[k] == '\n')
            out[k] = ' ';
    return Utf8Chars(text, size);
}

void RowFormatter::AppendRow(std::string& out, int32_t row, const KxdRecord& record) const
{
    AppendNumber(out, row);
    for (int32_t field : fields_) {
        const char* text = field >= 0 && field < FIELD_Nums ? record.Text(field) : "";
        const size_t size = strlen(text);
        const int32_t indent = field == FIELD_TEXT ? IndentChars(record) : 0;
        if (indent > 0) {
            const uint32_t flags = record.Flags();
            AddBlanks(out, indent);
            if (flags & KXFLAGS_FUNC_ENTER)
                out += enterMark_;
            else if (flags & KXFLAGS_FUNC_LEAVE)
                out += leaveMark_;
            else
                out += ' ';
            const int32_t chars = AppendLineBytes(out, text, size);
            AddBlanks(out, Width(FIELD_TEXT) - (indent + 1 + chars));
        } else if (FieldIsNumber(field)) {
            AddBlanks(out, Width(field) - Utf8Chars(text, size));
            AppendLineBytes(out, text, size);
        } else {
            AddBlanks(out, Width(field) - AppendLineBytes(out, text, size));
        }
        AddBlanks(out, 2);
    }
    out += '\n';
}

void RowFormatter::AppendRow(QString& out, int32_t row, const KxdRecord& record) const
{
    std::string line;
    AppendRow(line, row, record);
    out += QString::fromLocal8Bit(line.data(), int(line.size()));
}
