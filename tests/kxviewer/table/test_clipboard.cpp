// The rows a table tab puts on the clipboard: formats by row count, the
// row numbers, RTF that stays balanced whatever the records hold, and the
// counts of range copies.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QRegularExpression>
#include <QTextCodec>

#include "kxviewer/prefdata.h"
#include "rowcopyenv.h"

namespace {

using tabtest::Contains;

class Clipboard : public rowcopytest::RowCopyTest {
protected:
    void SetUp() override
    {
        rowcopytest::RowCopyTest::SetUp();
        savedCodec_ = QTextCodec::codecForLocale();
        QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
        QApplication::clipboard()->setText(QStringLiteral("before"));
    }
    void TearDown() override
    {
        QTextCodec::setCodecForLocale(savedCodec_);
        rowcopytest::RowCopyTest::TearDown();
    }

    static QString Rtf() { return QString::fromLatin1(QApplication::clipboard()->mimeData()->data("text/rtf")); }
    static QString Text() { return QApplication::clipboard()->text(); }
    // The first line after the header.
    static QString FirstRow() { return Text().section(QLatin1Char('\n'), 1, 1); }

    // Braces outside escapes balance and never close more than opened.
    static bool Balanced(const QString& rtf)
    {
        int depth = 0;
        for (int k = 0; k < rtf.size(); ++k) {
            if (rtf[k] == QLatin1Char('\\')) {
                ++k;
                continue;
            }
            depth += rtf[k] == QLatin1Char('{') ? 1 : rtf[k] == QLatin1Char('}') ? -1 : 0;
            if (depth < 0)
                return false;
        }
        return depth == 0;
    }

    // The lines a word processor shows of an RTF document: a line per
    // \line or \par, without the font and colour tables and pictures.
    static QStringList RtfLines(const QString& rtf)
    {
        static const QStringList hidden{"pict", "fonttbl", "colortbl", "*"};
        QStringList lines{QString()};
        int depth = 0;
        int hiddenDepth = 0;
        for (int k = 0; k < rtf.size(); ++k) {
            const QChar c = rtf[k];
            if (c == QLatin1Char('{')) {
                ++depth;
                const QString word = rtf.mid(k + 2).section(QRegularExpression("[^a-z*]"), 0, 0);
                if (!hiddenDepth && rtf.mid(k + 1, 1) == "\\" && hidden.contains(word))
                    hiddenDepth = depth;
            } else if (c == QLatin1Char('}')) {
                if (hiddenDepth == depth)
                    hiddenDepth = 0;
                --depth;
            } else if (c == QLatin1Char('\\')) {
                const QRegularExpressionMatch word =
                    QRegularExpression("\\G([a-z]+)(-?[0-9]*) ?").match(rtf, k + 1);
                if (!word.hasMatch()) {
                    if (!hiddenDepth)
                        lines.last() += rtf[k + 1];
                    ++k;
                    continue;
                }
                k = word.capturedEnd() - 1;
                if (hiddenDepth)
                    continue;
                if (word.captured(1) == "line" || word.captured(1) == "par")
                    lines.append(QString());
                else if (word.captured(1) == "u") {
                    lines.last() += QChar(word.captured(2).toInt());
                    ++k; // the stand-in character
                }
            } else if (!hiddenDepth && depth > 0 && c != QLatin1Char('\n')) {
                lines.last() += c;
            }
        }
        return lines;
    }

private:
    QTextCodec* savedCodec_ = nullptr;
};

TEST_F(Clipboard, FormatsFollowTheRowCount)
{
    struct Case {
        int rows;
        bool rtf;
        bool text;
        std::string report;
    };
    const Case cases[] = {
        {9999, true, true, "Document \"fixture\": 9999 rows copied to RTF clipboard 9999 rows copied to TXT clipboard"},
        {10000, false, true, "Document \"fixture\": 10000 rows copied to TXT clipboard"},
        {100000, false, false,
         "Document \"fixture\": 100000 rows are too many for the clipboard (at most 99999); Paste into another "
         "document takes them"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rows);
        TabTable* tab = OpenFixture("fixture", c.rows);
        QApplication::clipboard()->setText(QStringLiteral("before"));
        shell.Clear();
        tab->Actions[TACT_ROWS_COPY_ALL]->trigger();
        const QMimeData* data = QApplication::clipboard()->mimeData();
        EXPECT_EQ(data->hasFormat("text/rtf"), c.rtf);
        EXPECT_EQ(data->hasFormat("application/rtf"), c.rtf);
        if (c.text) {
            EXPECT_EQ(Text().count(QLatin1Char('\n')), c.rows + 1);
        } else {
            EXPECT_EQ(Text(), "before");
        }
        EXPECT_TRUE(Contains(shell.log, c.report));
        EXPECT_TRUE(Contains(shell.status, c.report));
        // Paste still takes the rows the clipboard could not.
        EXPECT_EQ(KxvGlobals::CopyInformation.source, tab->Table);
        delete tab;
    }
}

TEST_F(Clipboard, RowNumbersBeginEveryRowExceptInTheLargeTextWithoutNumbers)
{
    struct Case {
        bool numbers;
        int rows;
        const char* rowStart;
        const char* rtfRow; // empty: no RTF
    };
    const Case cases[] = {
        {true, 60, "    5 ", "\\line \\chcbpat1     5   "},
        {false, 60, "5 ", "\\line \\chcbpat1 5   "},
        {true, 10004, "    5 ", ""},
        {false, 10004, " ", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.numbers) + " " + std::to_string(c.rows));
        TabTable* tab = OpenFixture("fixture", c.rows);
        tab->Prefs.ExportRowNumbColumn = c.numbers ? 1 : 0;
        SetColumns(tab->Prefs, {FIELD_TEXT});
        tab->SetCurrentPosition(4);
        tab->SelRangeSet(4, c.rows - 1, true, 0xFFFF00);
        tab->Actions[TACT_ROWS_COPY]->trigger();
        EXPECT_TRUE(FirstRow().startsWith(QLatin1String(c.rowStart))) << FirstRow().left(20).toStdString();
        EXPECT_TRUE(FirstRow().mid(int(strlen(c.rowStart))).startsWith(QLatin1String("row 4 ")));
        if (*c.rtfRow) {
            EXPECT_TRUE(Rtf().contains(QLatin1String(c.rtfRow)));
        }
        delete tab;
    }
}

TEST_F(Clipboard, RecordTextsKeepTheRtfBalanced)
{
    PrefTabTable prefs = PrefTabTable::Default();
    SetColumns(prefs, {FIELD_TEXT});
    TabTable* tab = OpenRecords({Record("a{b}\\c na\xc3\xafve"), Record("}}}"), Record("{\\rtf1 x")}, prefs);
    tab->Actions[TACT_ROWS_COPY_ALL]->trigger();
    const QString rtf = Rtf();
    EXPECT_TRUE(Balanced(rtf));
    EXPECT_TRUE(rtf.contains(QLatin1String("a\\{b\\}\\\\c na\\u239?ve"))) << rtf.toStdString();
    EXPECT_TRUE(rtf.contains(QLatin1String("\\}\\}\\}")));
    EXPECT_TRUE(Text().contains(QString::fromUtf8("a{b}\\c na\xc3\xafve")));
}

// Under Colorize a row's shading is its thread's colour, wrapping round a
// scheme of fewer colours than threads.
TEST_F(Clipboard, ColorizeShadingStaysInsideTheColourTable)
{
    const std::vector<QRgb> saved = PrefGlobal::ColorScheme;
    PrefGlobal::ColorScheme = {0xFFFF0000};
    TabTable* tab = OpenFixture();
    tab->Prefs.Colorize = 1;
    tab->SelRangeSet(0, 3, true, 0x00FF00);
    tab->Actions[TACT_ROWS_COPY]->trigger();
    const QString rtf = Rtf();
    EXPECT_TRUE(rtf.contains(QLatin1String("{\\colortbl\\red0\\green0\\blue0;\\red255\\green255\\blue255;"
                                           "\\red255\\green0\\blue0;\\red0\\green255\\blue0;}")));
    EXPECT_EQ(rtf.count(QLatin1String("\\line \\chcbpat2 ")), 4);
    EXPECT_EQ(rtf.count(QLatin1String("\\chcbpat3 ")), 4);
    PrefGlobal::ColorScheme = saved;
}

// A range copy counts the rows of its ranges, not of the last row copy.
TEST_F(Clipboard, RangeCopiesCountTheirRanges)
{
    struct Case {
        void (TabTable::*command)();
        std::vector<std::pair<int32_t, int32_t>> ranges; // first, last
        std::string report;
        int lines;
    };
    const Case cases[] = {
        {&TabTable::CopyRangesToTxt, {{2, 4}, {10, 11}}, "Document \"fixture\": 5 rows copied to TXT clipboard", 5},
        {&TabTable::CopyRangesToRtf, {{2, 4}, {10, 11}},
         "Document \"fixture\": 5 rows copied to RTF clipboard 5 rows copied to TXT clipboard", 5},
        {&TabTable::CopyRangesToTxt,
         {{7, 7}, {12, 5}, {58, 70}},
         "Document \"fixture\": 3 rows copied to TXT clipboard",
         3},
    };
    for (const Case& c : cases) {
        TabTable* tab = OpenFixture();
        tab->SelectAll();
        tab->Actions[TACT_ROWS_COPY]->trigger();
        tab->OutlineRanges.clear();
        for (const auto& [first, last] : c.ranges)
            tab->OutlineRanges.push_back({first, last, 0, 64});
        shell.Clear();
        (tab->*c.command)();
        EXPECT_TRUE(Contains(shell.log, c.report));
        EXPECT_EQ(Text().count(QLatin1Char('\n')), c.lines + 1);
        EXPECT_TRUE(FirstRow().startsWith(QString::asprintf("%5d ", c.ranges[0].first + 1)));
        delete tab;
    }
}

// Nested TEXT: the text export's lines (plain text alone) indent three
// blanks a level, the text beside RTF two, both with the enter and leave
// markers, padded to the TEXT column and never cut.
TEST_F(Clipboard, NestedTextIsIndentedWithMarkers)
{
    struct Case {
        void (TabTable::*command)();
        QString enter;
        QString nested;
        QString leave;
    };
    const Case cases[] = {
        {&TabTable::CopyRangesToTxt, QString::fromUtf8("   21    \u00bbwork"), "   23     row 22",
         QString::fromUtf8("   25    \u00abwork")},
        {&TabTable::CopyRangesToRtf, QString::fromUtf8("   21   \u00bbwork"), "   23    row 22",
         QString::fromUtf8("   25   \u00abwork")},
    };
    for (const Case& c : cases) {
        TabTable* tab = OpenFixture();
        SetColumns(tab->Prefs, {FIELD_TEXT});
        tab->OutlineRanges = {{19, 25, 0, 64}, {12, 12, 0, 64}};
        (tab->*c.command)();
        const QStringList lines = Text().split(QLatin1Char('\n'));
        ASSERT_EQ(lines.size(), 10);
        // Row number, blank, 90 characters of TEXT, two blanks.
        const auto padded = [](const QString& start) { return start.leftJustified(5 + 1 + 90 + 2); };
        EXPECT_EQ(lines[2], padded(c.enter));
        EXPECT_EQ(lines[4], padded(c.nested));
        EXPECT_EQ(lines[6], padded(c.leave));
        EXPECT_EQ(lines[1], padded("   20 row 19"));
        EXPECT_EQ(lines[8], padded("   13 row 12"));
        delete tab;
    }
}

// Every cell goes whole into the RTF and its plain text, whatever the
// column's width: dated times in the relative column (18 characters) and
// the absolute one (30), a KX Name and a TEXT longer than theirs. The
// columns widen to the longest value, so the rows still line up.
TEST_F(Clipboard, CopiedCellsAreWholeInColumnsOfTheLongestValue)
{
    PrefTabTable prefs = PrefTabTable::Default();
    SetColumns(prefs, {FIELD_TIME, FIELD_SEQ, FIELD_LEVEL, FIELD_KXNAME, FIELD_TEXT});
    for (const bool relative : {true, false}) {
        SCOPED_TRACE(relative ? "relative" : "absolute");
        TabTable* tab = OpenDated(relative, prefs);
        ASSERT_EQ(tab->Table->TimeNormalised(), relative);
        tab->Actions[TACT_ROWS_COPY_ALL]->trigger();
        QStringList rtf = RtfLines(Rtf());
        while (!rtf.isEmpty() && rtf.last().isEmpty())
            rtf.removeLast();
        const QStringList text = Text().split(QLatin1Char('\n'));
        ASSERT_GE(rtf.size(), 4);
        ASSERT_EQ(text.size(), 5);
        for (int32_t row = 0; row < 3; ++row) {
            const QString rtfRow = rtf[rtf.size() - 3 + row];
            const QString textRow = text[1 + row];
            const KxdRecord* record = tab->Table->GetRecord(row);
            EXPECT_TRUE(QString::fromLatin1(record->Text(FIELD_TIME)).startsWith("2024-12-0"));
            for (int32_t field : {FIELD_TIME, FIELD_SEQ, FIELD_LEVEL, FIELD_KXNAME, FIELD_TEXT}) {
                const QString value = QString::fromLatin1(record->Text(field));
                EXPECT_TRUE(rtfRow.contains(value)) << rtfRow.toStdString() << " lacks " << value.toStdString();
                EXPECT_TRUE(textRow.contains(value)) << textRow.toStdString() << " lacks " << value.toStdString();
            }
            // The columns after the widened ones start at one place.
            EXPECT_EQ(rtfRow.indexOf("a-kx-name"), rtf.last().indexOf("a-kx-name"));
            EXPECT_EQ(rtfRow.indexOf(" 0  a-kx"), rtf.last().indexOf(" 0  a-kx"));
            EXPECT_EQ(textRow.indexOf("a-kx-name"), text[3].indexOf("a-kx-name"));
            EXPECT_EQ(textRow.size(), text[3].size());
        }
        // The titles' line widens with the columns: two blanks before the
        // titles where the rows have the number's one.
        EXPECT_EQ(text[0].size(), text[1].size() + 1);
        delete tab;
    }
}

} // namespace
