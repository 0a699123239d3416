// The rows a table tab puts on the clipboard: formats by row count, the
// row numbers, RTF that stays balanced whatever the records hold, and the
// counts of range copies.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
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

} // namespace
