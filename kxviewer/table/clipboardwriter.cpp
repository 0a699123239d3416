#include "kxviewer/table/clipboardwriter.h"

#include <algorithm>

#include <QAction>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>

#include "kxlib/kxdrecord.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/table/dragheaderview.h"
#include "kxviewer/table/guiicons.h"
#include "kxviewer/table/tabletextwriter.h"
#include "kxviewer/table/tabtable.h"
#include "kxviewer/table/tabtableview.h"
#include "utils/rtf/rtfwriter.h"

namespace {

// Colour-table indices of the ground colours.
constexpr int32_t BLACK = 0;
constexpr int32_t WHITE = 1;
// Percent scale of the pictures drawn at their own size.
constexpr int FULL_SCALE = 100;
// Characters the nesting arrow before an indented TEXT stands for.
constexpr int32_t INDENT_PICTURE_CHARS = 2;

std::string HexPng(const QPixmap& pixmap)
{
    return pixmap.isNull() ? std::string() : PrefGlobal::PixmapToHexPng(pixmap.toImage());
}

// The shared pictures as hexadecimal PNG, made on the first use and kept
// for the run.
const std::string& HexPicture(SharedPixmapId id)
{
    static std::vector<std::string> pictures;
    if (pictures.empty())
        for (int k = 0; k < SHARED_PIXMAP_COUNT; ++k)
            pictures.push_back(HexPng(SharedPixmap(SharedPixmapId(k))));
    return pictures[size_t(id)];
}

std::string Escaped(const QString& text)
{
    std::string out;
    RtfWriter::AppendEscaped(out, reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size()));
    return out;
}

std::string Shading(int32_t index) { return "\\chcbpat" + std::to_string(index) + " "; }

// Two average characters wide, in percent of the picture's width.
int MarkerScale(int charWidth, const QPixmap& picture)
{
    return picture.width() > 0 ? 200 * charWidth / picture.width() : FULL_SCALE;
}

} // namespace

ClipboardWriter::ClipboardWriter(TabTable& tab)
    : tab_(tab),
      formatter_(tab.ColumnFields(), tab.Table->TimeNormalised(), tab.Prefs.IndentText != 0,
                 RowFormatter::ClipboardStyle(tab.Prefs.ExportRowNumbColumn != 0, tab.Table->RowCount())),
      highlights_(&tab),
      charWidth_(std::max(1, QFontMetrics(tab.View->font()).averageCharWidth()))
{
    colours_ = {qRgb(0, 0, 0) & RGB_MASK, qRgb(255, 255, 255) & RGB_MASK};
    if (tab.Prefs.Colorize) {
        schemeSize_ = int32_t(PrefGlobal::ColorScheme.size());
        for (QRgb colour : PrefGlobal::ColorScheme)
            AddColour(colour, true);
    }
    for (const SelRange* range = tab.Table->FirstRange(); range; range = range->NextEntry())
        AddColour(QRgb(range->tag), false);
    if (QAction* highlight = tab.Actions[TACT_HIGHLIGHT]; highlight && highlight->isChecked())
        AddColour(QRgb(tab.Prefs.ColorHighlight), false);
    for (const TabBase::FixedHighlight* pinned : tab.FixedHighlights)
        AddColour(pinned->color.rgb(), false);
}

void ClipboardWriter::AddColour(QRgb rgb, bool always)
{
    rgb &= RGB_MASK;
    if (always || std::find(colours_.begin(), colours_.end(), rgb) == colours_.end())
        colours_.push_back(rgb);
}

int32_t ClipboardWriter::ColourIndex(QRgb rgb) const
{
    rgb &= RGB_MASK;
    // The scheme's entries are only for Colorize: a range or phrase colour
    // has its own entry after them (or is white).
    const auto from = colours_.begin() + 2 + schemeSize_;
    const auto hit = std::find(from, colours_.end(), rgb);
    if (hit != colours_.end())
        return int32_t(hit - colours_.begin());
    return rgb == colours_[WHITE] ? WHITE : rgb == colours_[BLACK] ? BLACK : WHITE;
}

std::string ClipboardWriter::ColourTableText() const
{
    std::string out;
    for (QRgb rgb : colours_)
        out += "\\red" + std::to_string(qRed(rgb)) + "\\green" + std::to_string(qGreen(rgb)) + "\\blue" +
               std::to_string(qBlue(rgb)) + ";";
    return out;
}

void ClipboardWriter::AppendHighlighted(std::string& out, int32_t field, const QString& value, int32_t shading) const
{
    // Per character the colour of the last phrase found over it, as the
    // view paints later phrases over earlier ones.
    std::vector<int32_t> marks;
    for (const RowHighlights::Entry& entry : highlights_.Entries()) {
        const RowHighlights::FieldMatch& match = entry.fields[field];
        if (!match.set || value.isEmpty())
            continue;
        if (marks.empty())
            marks.assign(size_t(value.size()), -1);
        const int32_t colour = ColourIndex(entry.color.rgb());
        if (!match.substring) {
            std::fill(marks.begin(), marks.end(), colour);
            continue;
        }
        // An empty phrase would be found at one place for ever.
        if (match.text.isEmpty())
            continue;
        const Qt::CaseSensitivity cs = entry.matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
        const int length = match.text.size();
        for (int hit = value.indexOf(match.text, 0, cs); hit >= 0; hit = value.indexOf(match.text, hit + length, cs))
            std::fill(marks.begin() + hit, marks.begin() + std::min(hit + length, int(value.size())), colour);
    }
    if (marks.empty()) {
        out += Escaped(value);
        return;
    }
    for (int from = 0; from < value.size();) {
        int to = from;
        while (to < value.size() && marks[size_t(to)] == marks[size_t(from)])
            ++to;
        if (marks[size_t(from)] >= 0)
            out += Shading(marks[size_t(from)]) + Escaped(value.mid(from, to - from)) + Shading(shading);
        else
            out += Escaped(value.mid(from, to - from));
        from = to;
    }
}

void ClipboardWriter::WriteRow(RtfWriter& rtf, QString& text, int32_t row, KxdRecord* record)
{
    int32_t rowShading = WHITE;
    if (tab_.Prefs.Colorize && schemeSize_ > 0) {
        // The colour number wraps round the scheme as the view's colour does.
        const int32_t number = tab_.GetColorizeColorNum(record);
        rowShading = number < 0 ? WHITE : number % schemeSize_ + 2;
    }
    rtf.AddLine(Shading(rowShading).c_str());
    const QString number = formatter_.Number(row);
    rtf.AddText(number.toLatin1().constData());
    text += number;

    const bool error = record->errorKind != KXERR_NoErrors && tab_.Prefs.ShowPresErrors;
    const QPixmap& exclamation = SharedPixmap(PIX_LINE0_EXCLAMATION);
    if (record->bookmark && error)
        rtf.AddPngPicture(bothMarks_.c_str(), bothScale_, bothScale_);
    else if (record->bookmark && !bookmark_.empty())
        rtf.AddPngPicture(bookmark_.c_str(), bookmarkScale_, bookmarkScale_);
    else if (error)
        rtf.AddPngPicture(HexPicture(PIX_LINE0_EXCLAMATION).c_str(), MarkerScale(charWidth_, exclamation),
                          MarkerScale(charWidth_, exclamation));
    else
        rtf.AddText("  ");
    const auto kind = SharedPixmapId(DragHeaderView::KindIcon(record->Flags(), int32_t(record->Int64(FIELD_LEVEL))));
    rtf.AddPngPicture(HexPicture(kind).c_str(), FULL_SCALE, FULL_SCALE);

    const int32_t cellShading = record->selRange ? ColourIndex(QRgb(record->selRange->tag)) : WHITE;
    std::string cells = Shading(cellShading);
    highlights_.Prepare(row, record);
    for (int32_t field : formatter_.Fields()) {
        const QString value =
            field >= 0 && field < FIELD_Nums ? QString::fromLocal8Bit(record->Text(field)) : QString();
        const QString indent = field == FIELD_TEXT ? formatter_.IndentOf(*record) : QString();
        if (!indent.isEmpty()) {
            cells += indent.toStdString();
            rtf.AddText(cells.c_str());
            cells.clear();
            const int64_t nest = record->Int64(FIELD_NEST);
            const uint32_t flags = record->Flags();
            const QPixmap& widest = SharedPixmap(PIX_ARROW_TURN_OUT);
            const int scale = MarkerScale(charWidth_, widest);
            if (flags & KXFLAGS_FUNC_ENTER)
                rtf.AddPngPicture(HexPicture(nest == 1 ? PIX_ARROW_IN : PIX_ARROW_TURN_IN).c_str(), scale, scale);
            else if (flags & KXFLAGS_FUNC_LEAVE)
                rtf.AddPngPicture(HexPicture(nest == 1 ? PIX_ARROW_OUT : PIX_ARROW_TURN_OUT).c_str(), scale, scale);
            else
                cells += std::string(INDENT_PICTURE_CHARS, ' ');
            const int32_t room = formatter_.Width(FIELD_TEXT) - int32_t(indent.size()) - INDENT_PICTURE_CHARS;
            AppendHighlighted(cells, field, value, cellShading);
            cells += std::string(size_t(std::max(0, room - int32_t(value.size()))), ' ');
        } else {
            const RowFormatter::Cell cell = formatter_.Format(field, value);
            cells += std::string(size_t(cell.lead), ' ');
            AppendHighlighted(cells, field, cell.value, cellShading);
            cells += std::string(size_t(cell.trail), ' ');
        }
        cells += "  ";
    }
    rtf.AddText(cells.c_str());
    // The plain line without the number already written.
    QString line;
    formatter_.AppendRow(line, row, *record);
    text += line.mid(number.size());
}

void ClipboardWriter::FitColumns(const Spans& spans)
{
    for (const auto& span : spans)
        for (int32_t row = span.first; row <= span.second; ++row) {
            const KxdRecord& record = *tab_.Table->GetRecord(row);
            for (int32_t field : formatter_.Fields()) {
                if (field < 0 || field >= FIELD_Nums)
                    continue;
                int32_t chars = QString::fromLocal8Bit(record.Text(field)).size();
                const int32_t indent = field == FIELD_TEXT ? formatter_.IndentChars(record) : 0;
                if (indent > 0)
                    chars += indent + INDENT_PICTURE_CHARS;
                formatter_.Widen(field, chars);
            }
        }
}

void ClipboardWriter::Write(const Spans& spans, std::string* rtfOut, QString* text)
{
    FitColumns(spans);
    const QPixmap& exclamation = SharedPixmap(PIX_LINE0_EXCLAMATION);
    bookmark_ = HexPng(tab_.TabPixmap);
    bookmarkScale_ = MarkerScale(charWidth_, tab_.TabPixmap);
    const QPixmap both = tab_.TabPixmap.isNull() ? exclamation : CombinedMarks(exclamation, tab_.TabPixmap);
    bothMarks_ = HexPng(both);
    bothScale_ = MarkerScale(charWidth_, both);

    const QString header = formatter_.Header();
    const std::string colours = ColourTableText();
    const QFont& font = tab_.View->font();
    const std::string family = QFontInfo(font).family().toLocal8Bit().toStdString();
    size_t rows = 0;
    for (const auto& span : spans)
        rows += size_t(std::max(0, span.second - span.first + 1));
    const size_t picture = HexPicture(PIX_TYPE0_INFO).size();
    RtfWriter rtf;
    rtf.Open(colours.size() + family.size() + rows * (2 * size_t(header.size()) + 2 * picture), family.c_str(),
             colours.c_str());
    RtfFormat* format = RtfWriter::GetFormat();
    *format = RtfFormat();
    format->fontSize = 2 * QFontInfo(font).pointSize();
    format->shadingOn = 1;
    format->patternBackground = WHITE;
    format->colour = BLACK;
    format->font = 0;
    rtf.WriteParagraph(("\\chcbpat1 " + Escaped(header.left(header.size() - 1))).c_str(), false);
    text->reserve(int(rows) * (header.size() + 16));
    *text = header;
    for (const auto& span : spans)
        for (int32_t row = span.first; row <= span.second; ++row)
            WriteRow(rtf, *text, row, tab_.Table->GetRecord(row));
    rtf.EndDocument(nullptr);
    rtfOut->assign(rtf.GetBuffer(), rtf.Length());
    rtf.Close();
}

QString ClipboardWriter::ExportText(TabTable& tab, const Spans& spans)
{
    std::string text;
    TableTextWriter(tab, TableTextWriter::TEXT).AppendAll(text, spans);
    return QString::fromLocal8Bit(text.data(), int(text.size()));
}
