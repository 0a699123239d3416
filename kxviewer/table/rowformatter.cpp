#include "kxviewer/table/rowformatter.h"

#include <algorithm>

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

// n blanks appended in place.
void AddBlanks(QString& out, int32_t n)
{
    if (n > 0)
        out.resize(out.size() + n, QLatin1Char(' '));
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
    : fields_(std::move(fields)), relativeTime_(relativeTime), indentText_(indentText), style_(style)
{
}

int32_t RowFormatter::Width(int32_t field) const { return ColumnChars(field, relativeTime_); }

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
    if (style_.numberWidth == 0 && !style_.numberAlways)
        return QStringLiteral(" ");
    return QString::number(row + 1).rightJustified(style_.numberWidth) + QLatin1Char(' ');
}

QString RowFormatter::IndentOf(const KxdRecord& record) const
{
    const int64_t nest = record.Int64(FIELD_NEST);
    if (!indentText_ || nest < 1)
        return QString();
    return Blanks(int32_t(std::min<int64_t>(nest * style_.indentUnit, Width(FIELD_TEXT))));
}

RowFormatter::Cell RowFormatter::Format(int32_t field, const QString& text, bool cut) const
{
    const int32_t width = Width(field);
    Cell cell;
    cell.value = cut && text.size() > width ? text.left(width) : text;
    const int32_t room = std::max(0, width - int32_t(cell.value.size()));
    if (FieldIsNumber(field))
        cell.lead = room;
    else
        cell.trail = room;
    return cell;
}

void RowFormatter::AppendRow(QString& out, int32_t row, const KxdRecord& record) const
{
    out += Number(row);
    for (int32_t field : fields_) {
        const QString text = field >= 0 && field < FIELD_Nums ? QString::fromLocal8Bit(record.Text(field)) : QString();
        const QString indent = field == FIELD_TEXT ? IndentOf(record) : QString();
        if (!indent.isEmpty()) {
            const uint32_t flags = record.Flags();
            const QChar mark = flags & KXFLAGS_FUNC_ENTER   ? QChar(ENTER_MARK)
                               : flags & KXFLAGS_FUNC_LEAVE ? QChar(LEAVE_MARK)
                                                            : QLatin1Char(' ');
            out += indent;
            out += mark;
            out += text;
            AddBlanks(out, Width(FIELD_TEXT) - int32_t(indent.size() + 1 + text.size()));
        } else {
            const Cell cell = Format(field, text, false);
            AddBlanks(out, cell.lead);
            out += cell.value;
            AddBlanks(out, cell.trail);
        }
        AddBlanks(out, 2);
    }
    out += QLatin1Char('\n');
}
