// The file exports of a table tab: the text export's exact bytes, CSV lines,
// PDF pages, and what a failing disk or "Abort export" leaves behind.
#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextCodec>
#include <QTimer>

#include "kxviewer/table/exportfile.h"
#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/tablepdfwriter.h"
#include "rowcopyenv.h"

namespace {

using tabtest::Contains;

// A progress display that presses "Abort export" once it reaches a value.
class AbortingProgress : public KxvProgress {
public:
    explicit AbortingProgress(int abortAt) : abortAt_(abortAt) {}
    void Show() override {}
    bool IsVisible() const override { return true; }
    void SetValue(int value) override { canceled_ = canceled_ || (abortAt_ >= 0 && value >= abortAt_); }
    bool WasCanceled() const override { return canceled_; }
    void Cancel() override { canceled_ = true; }
    void Close() override {}
private:
    int abortAt_;
    bool canceled_ = false;
};

// The recorded shell whose progress displays abort at a value (-1 never)
// and which keeps their labels; with a dialog parent, the real progress
// dialog over it.
class ProgressShell : public tabtest::StatusRecorder {
public:
    std::unique_ptr<KxvProgress> CreateProgress(const QString& label, const QString& cancelText, int minimum,
                                                int maximum) override
    {
        labels.push_back((label + "|" + cancelText).toStdString());
        if (dialogParent)
            return KxvShellServices::CreateProgress(label, cancelText, minimum, maximum);
        return std::make_unique<AbortingProgress>(abortAt);
    }
    QWidget* MainWidget() const override { return dialogParent; }

    int abortAt = -1;
    QWidget* dialogParent = nullptr;
    std::vector<std::string> labels;
};

class Export : public rowcopytest::RowCopyTest {
protected:
    void SetUp() override
    {
        rowcopytest::RowCopyTest::SetUp();
        savedCodec_ = QTextCodec::codecForLocale();
        QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    }
    void TearDown() override
    {
        ExportFile::DeviceCapacity = -1;
        QTextCodec::setCodecForLocale(savedCodec_);
        rowcopytest::RowCopyTest::TearDown();
    }

    static std::string Read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string("<missing>");
    }
    static int Pages(const std::string& pdf)
    {
        return int(QString::fromLatin1(pdf.data(), int(pdf.size())).count(QRegularExpression("/Type\\s*/Page[^s]")));
    }
    // The pages of the PDF that the tab's export writes to name.
    int PdfPages(TabTable* tab, const char* name)
    {
        const QString path = Path(name);
        prompt.fileNames.enqueue(path);
        tab->Actions[TACT_SAVE_PDF]->trigger();
        return Pages(Read(path));
    }
    static int Images(const std::string& pdf)
    {
        return int(QString::fromLatin1(pdf.data(), int(pdf.size())).count(QRegularExpression("/Subtype\\s*/Image")));
    }
    static std::string Created(const QString& path, int records)
    {
        return "File \"" + path.toStdString() + "\" with " + std::to_string(records) + " records created";
    }
    // The TEXT column's 90 characters and its two blanks.
    static std::string Text90(const std::string& text, size_t chars) { return text + std::string(92 - chars, ' '); }

    // Installed over the test's own shell: it records every report.
    ProgressShell progress;

private:
    QTextCodec* savedCodec_ = nullptr;
};

// Columns TID (a number, 12 wide) and TEXT (90 wide), each with two blanks
// after it; the row numbers' field is five wide, six from 100,000 rows, and
// none when they are off, the header then starting at once.
TEST_F(Export, TextLinesAreExact)
{
    const std::string header = std::string(5, ' ') + "TID" + std::string(6, ' ') + std::string(44, ' ') + "Text" +
                               std::string(44, ' ');
    const std::string tid7 = std::string(11, ' ') + "7  ";
    const std::string tid8 = std::string(11, ' ') + "8  ";
    // lines: index in the file, bytes without the line feed.
    const struct { int records; bool numbers; std::vector<std::pair<int, std::string>> lines; } cases[] = {
        {60, true,
         {{0, "     " + header}, {1, "    1 " + tid8 + Text90("row 0", 5)}, {2, "    2 " + tid7 + Text90("row 1", 5)},
          {21, "   21 " + tid7 + Text90("   \xc2\xbbwork", 8)}, {23, "   23 " + tid7 + Text90("    row 22", 10)},
          {25, "   25 " + tid7 + Text90("   \xc2\xabwork", 8)}, {60, "   60 " + tid7 + Text90("row 59", 6)}}},
        {60, false,
         {{0, header}, {1, " " + tid8 + Text90("row 0", 5)}, {21, " " + tid7 + Text90("   \xc2\xbbwork", 8)}}},
        {12, true, {{12, "   12 " + tid7 + Text90("row 11", 6)}}},
        {100000, true, {{1, "     1 " + tid8 + Text90("row 0", 5)}, {100000, "100000 " + tid8 + Text90("row 99999", 9)}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.records) + (c.numbers ? " numbers" : " no numbers"));
        TabTable* tab = OpenFixture("fixture", c.records);
        tab->Prefs.ExportRowNumbColumn = c.numbers ? 1 : 0;
        SetColumns(tab->Prefs, {FIELD_TID, FIELD_TEXT});
        const QString path = Path("out.txt");
        ASSERT_TRUE(tab->SaveTxt(path, false));
        const QStringList lines = QString::fromStdString(Read(path)).split('\n');
        ASSERT_EQ(lines.size(), c.records + 2);
        EXPECT_TRUE(lines.last().isEmpty());
        for (int k = 1; k <= c.records; ++k)
            ASSERT_TRUE(lines[k].endsWith("  ")) << k;
        for (const auto& [index, bytes] : c.lines)
            EXPECT_EQ(lines[index].toStdString(), bytes) << index;
        EXPECT_TRUE(Contains(progress.log, Created(path, c.records)));
        delete tab;
    }
}

// Values keep their bytes; CSV values are trimmed, and quoted when they hold
// a comma or a line break, which they then keep; the text export writes a
// line break as blanks. Widths count UTF-8 characters.
TEST_F(Export, ValuesStayOnTheirLine)
{
    PrefTabTable prefs = PrefTabTable::Default();
    SetColumns(prefs, {FIELD_TID, FIELD_TEXT});
    TabTable* tab = OpenRecords({Record("a,b"), Record("  padded \t"), Record("one\r\ntwo\nthree"),
                                 Record("na\xc3\xafve \xe9t\xe9")},
                                prefs);
    tab->Prefs.ExportRowNumbColumn = 0;
    const std::string tid = " " + std::string(11, ' ') + "7  ";
    const struct { bool csv; std::string expected; } cases[] = {
        {true, "7,\"a,b\"\n7,padded\n7,\"one\r\ntwo\nthree\"\n7,na\xc3\xafve \xe9t\xe9\n"},
        {false, std::string(5, ' ') + "TID" + std::string(50, ' ') + "Text" + std::string(44, ' ') + "\n" + tid +
                    Text90("a,b", 3) + "\n" + tid + Text90("  padded \t", 10) + "\n" + tid +
                    Text90("one  two three", 14) + "\n" + tid + Text90("na\xc3\xafve \xe9t\xe9", 9) + "\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.csv ? "csv" : "txt");
        const QString path = Path(c.csv ? "values.csv" : "values.txt");
        ASSERT_TRUE(c.csv ? tab->SaveCsv(path, false) : tab->SaveTxt(path, false));
        EXPECT_EQ(Read(path), c.expected);
    }
}

namespace {

// The fields of CSV text as a reader of quoted fields sees them: a field in
// double quotes holds anything, its doubled quotes standing for one.
std::vector<std::vector<std::string>> ReadCsv(const std::string& text)
{
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    bool quoted = false;
    for (size_t k = 0; k < text.size(); ++k) {
        const char c = text[k];
        if (quoted) {
            if (c != '"')
                field += c;
            else if (k + 1 < text.size() && text[k + 1] == '"')
                field += text[++k];
            else
                quoted = false;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',' || c == '\n') {
            row.push_back(field);
            field.clear();
            if (c == '\n') {
                rows.push_back(row);
                row.clear();
            }
        } else {
            field += c;
        }
    }
    return rows;
}

} // namespace

// Every CSV field reads back as the value it was written from, whatever
// delimiters, quotes and line ends it holds; a field without any keeps the
// bytes it always had, unquoted.
TEST_F(Export, CsvFieldsReadBackWhole)
{
    const struct { const char* text; const char* kxname; const char* written; } cases[] = {
        {"plain", "name", "7,plain,name"},
        {"a,b", ",", "7,\"a,b\",\",\""},
        {"say \"hi\"", "\"", "7,\"say \"\"hi\"\"\",\"\"\"\""},
        {"one\r\ntwo", "cr\rhere", "7,\"one\r\ntwo\",\"cr\rhere\""},
        {"line\nend, \"both\"", "semi;colon", "7,\"line\nend, \"\"both\"\"\",semi;colon"},
        {"  trimmed,  ", " 'single' ", "7,\"trimmed,\",'single'"},
        {"na\xc3\xafve \xe9t\xe9", "", "7,na\xc3\xafve \xe9t\xe9,"},
    };
    PrefTabTable prefs = PrefTabTable::Default();
    SetColumns(prefs, {FIELD_TID, FIELD_TEXT, FIELD_KXNAME});
    std::vector<RawRecord> records;
    std::string expected;
    for (const auto& c : cases) {
        RawRecord record = Record(c.text);
        record.kxname = c.kxname;
        records.push_back(record);
        expected += std::string(c.written) + "\n";
    }
    TabTable* tab = OpenRecords(records, prefs);
    const QString path = Path("fields.csv");
    ASSERT_TRUE(tab->SaveCsv(path, false));
    const std::string bytes = Read(path);
    EXPECT_EQ(bytes, expected);
    const auto rows = ReadCsv(bytes);
    ASSERT_EQ(rows.size(), std::size(cases));
    for (size_t k = 0; k < rows.size(); ++k) {
        SCOPED_TRACE(k);
        const std::vector<std::string> fields = {"7", tab->Table->GetRecord(int32_t(k))->Text(FIELD_TEXT),
                                                 tab->Table->GetRecord(int32_t(k))->Text(FIELD_KXNAME)};
        ASSERT_EQ(rows[k].size(), 3u);
        EXPECT_EQ(rows[k][0], fields[0]);
        // The value as written is the record's, trimmed.
        for (size_t f = 1; f < 3; ++f) {
            const std::string& value = fields[f];
            const size_t from = value.find_first_not_of(" \t\r\n");
            const size_t to = value.find_last_not_of(" \t\r\n");
            EXPECT_EQ(rows[k][f], from == std::string::npos ? "" : value.substr(from, to - from + 1)) << f;
        }
    }
}

// Only the rows of the selected Outline ranges are written, a bookmark line
// (range end -1) gives none, and the report counts the rows written, not
// the table's selected rows.
TEST_F(Export, RangesReportTheRowsWritten)
{
    const struct { bool csv; std::vector<std::pair<int32_t, int32_t>> ranges; int rows; } cases[] = {
        {true, {{2, 4}, {7, -1}, {10, 11}}, 5}, {false, {{58, 70}, {3, 3}}, 3}, {true, {{7, -1}}, 0}};
    for (const auto& c : cases) {
        TabTable* tab = OpenFixture();
        tab->SelRangeSet(0, 29, true, 0xFFFF00);
        tab->OutlineRanges.clear();
        for (const auto& [first, last] : c.ranges)
            tab->OutlineRanges.push_back({first, last, 0, 64});
        const QString path = Path(c.csv ? "ranges.csv" : "ranges.txt");
        progress.Clear();
        ASSERT_TRUE(c.csv ? tab->SaveCsv(path, true) : tab->SaveTxt(path, true));
        const std::string bytes = Read(path);
        EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), c.rows + (c.csv ? 0 : 1));
        const std::string report = Created(path, c.rows);
        EXPECT_EQ(progress.log, std::vector<std::string>{report});
        EXPECT_TRUE(Contains(progress.status, report));
        delete tab;
    }
}

// A device that fails part-way: the error is reported with the system's
// reason, nothing is called created, the old file keeps its bytes and no
// temporary file stays. A full disk stands in as a capacity; a file size
// limit makes the system's own writes fail.
TEST_F(Export, FailingDeviceKeepsTheOldFile)
{
    const struct { const char* name; int action; qint64 capacity; rlim_t sizeLimit; int error; } cases[] = {
        {"full.txt", TACT_SAVE_TXT, 0, 0, ENOSPC}, {"full.csv", TACT_SAVE_CSV, 300, 0, ENOSPC},
        {"full.pdf", TACT_SAVE_PDF, 2000, 0, ENOSPC}, {"late.txt", TACT_SAVE_TXT, (1 << 20) + 10, 0, ENOSPC},
        {"limit.csv", TACT_SAVE_CSV, -1, 300, EFBIG}, {"limit.pdf", TACT_SAVE_PDF, -1, 2000, EFBIG}};
    TabTable* tab = OpenFixture("fixture", 20000);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Path(c.name);
        {
            QFile old(path);
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write("previous contents");
        }
        ExportFile::DeviceCapacity = c.capacity;
        progress.Clear();
        prompt.fileNames.enqueue(path);
        rlimit before{};
        getrlimit(RLIMIT_FSIZE, &before);
        const auto handler = signal(SIGXFSZ, SIG_IGN);
        const rlimit tight{c.sizeLimit, before.rlim_max};
        if (c.sizeLimit > 0)
            setrlimit(RLIMIT_FSIZE, &tight);
        tab->Actions[c.action]->trigger();
        setrlimit(RLIMIT_FSIZE, &before);
        signal(SIGXFSZ, handler);
        ExportFile::DeviceCapacity = -1;
        const std::vector<std::string> error{"Can't write file: " + path.toStdString() + ": " + strerror(c.error)};
        EXPECT_EQ(progress.log, error);
        EXPECT_EQ(progress.info, error);
        EXPECT_TRUE(progress.status.empty() || progress.status.back().find("created") == std::string::npos);
        EXPECT_EQ(Read(path), "previous contents");
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).filter(c.name), QStringList{c.name});
    }
    EXPECT_FALSE(tab->SaveTxt(Path("missing/out.txt"), false));
}

// 55 rows fill a page; the 56th starts a second one. Each picture is
// embedded once, however many rows show it. "Abort export" keeps the pages
// painted so far as a readable file and reports nothing; the real dialog's
// button is clicked while the export passes the event loop.
TEST_F(Export, PdfPages)
{
    const struct { int records, abortAt; bool click; int pages; bool report; } cases[] = {
        {55, -1, false, 1, true}, {56, -1, false, 2, true}, {550, -1, false, 10, true},
        {550, 2, false, 4, false}, {550, 2, true, 4, false}};
    QTimer clicker;
    clicker.setInterval(0);
    int clickAt = 0;
    QObject::connect(&clicker, &QTimer::timeout, [&] {
        auto* dialog = main->findChild<QProgressDialog*>();
        if (!dialog || !dialog->isVisible() || dialog->value() < clickAt)
            return;
        for (QPushButton* button : dialog->findChildren<QPushButton*>())
            if (button->text() == "Abort export")
                QTest::mouseClick(button, Qt::LeftButton);
        clicker.stop();
    });
    int images = -1;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.records) + " abort at " + std::to_string(c.abortAt));
        TabTable* tab = OpenFixture("fixture", c.records);
        tab->BookmarkSet(3, true);
        progress.abortAt = c.click ? -1 : c.abortAt;
        progress.dialogParent = c.click ? main.get() : nullptr;
        clickAt = c.abortAt;
        if (c.click)
            clicker.start();
        progress.labels.clear();
        progress.Clear();
        const QString path = Path("pages.pdf");
        prompt.fileNames.enqueue(path);
        tab->Actions[TACT_SAVE_PDF]->trigger();
        EXPECT_EQ(progress.labels, std::vector<std::string>{"Exporting to PDF...|Abort export"});
        const std::string pdf = Read(path);
        EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
        EXPECT_NE(pdf.find("%%EOF", pdf.size() - 8), std::string::npos);
        EXPECT_EQ(Pages(pdf), c.pages);
        if (c.records > 56) {
            EXPECT_EQ(Images(pdf), images == -1 ? (images = Images(pdf)) : images);
        }
        EXPECT_EQ(Contains(progress.log, Created(path, c.records)), c.report);
        delete tab;
    }
    EXPECT_GT(images, 0);
}

// Work that turns the event loop and then goes on with the document: a
// turn that closes it (deletes the tab) ends the work there, with nothing of
// the tab touched again; the PDF export writes no report.
TEST_F(Export, AClosedDocumentEndsTheWorkAtItsTurn)
{
    const struct {
        const char* name;
        std::function<void(TabTable*)> work;
    } cases[] = {
        {"PDF export", [this](TabTable* tab) {
             prompt.fileNames.enqueue(Path("closed.pdf"));
             tab->Actions[TACT_SAVE_PDF]->trigger();
         }},
        {"the view's new model", [](TabTable* tab) { tab->TableChanged(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TabTable* tab = OpenFixture("fixture", 300);
        const QPointer<TabTable> watched(tab);
        progress.Clear();
        QTimer::singleShot(0, tab, [tab] { delete tab; });
        c.work(tab);
        EXPECT_TRUE(watched.isNull());
        EXPECT_FALSE(Contains(progress.log, Created(Path("closed.pdf"), 300)));
    }
}

// A document closed while its PDF export runs, by its tab or deleted at
// once: the pages painted so far are dropped, a file at the path stays byte
// for byte, no temporary file is left, and the System Log says why.
TEST_F(Export, APdfExportOfAClosedDocumentIsDropped)
{
    const struct {
        const char* name;
        bool existed;
        bool deleted;
    } cases[] = {{"closed by its tab, over a file", true, false},
                 {"deleted, over a file", true, true},
                 {"closed by its tab, new file", false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir folder(dir.path() + QStringLiteral("/out XXXXXX"));
        ASSERT_TRUE(folder.isValid());
        const QString path = folder.path() + QStringLiteral("/report.pdf");
        const QByteArray before("the user's earlier report\n");
        if (c.existed) {
            QFile old(path);
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            ASSERT_EQ(old.write(before), before.size());
        }
        TabTable* tab = OpenFixture("fixture", 300);
        progress.Clear();
        prompt.fileNames.enqueue(path);
        const bool deleted = c.deleted;
        QTimer::singleShot(0, tab, [tab, deleted] {
            if (deleted) {
                delete tab;
                return;
            }
            // Nothing to ask about on the way out.
            tab->DiscardChanges();
            tab->Close();
        });
        const QPointer<TabTable> watched(tab);
        tab->Actions[TACT_SAVE_PDF]->trigger();
        FlushDeletes();
        EXPECT_TRUE(watched.isNull());
        EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), c.existed ? QStringList{"report.pdf"} : QStringList());
        if (c.existed) {
            EXPECT_EQ(Read(path), before.toStdString());
        }
        EXPECT_TRUE(Contains(progress.log, "Export to file \"" + path.toStdString() +
                                               "\" dropped: the document was closed during the export"));
        EXPECT_FALSE(Contains(progress.log, Created(path, 300)));
    }
}

// Every title and value stands whole in its column of the PDF page, clear
// of the row's icons: a dated Time first (right-aligned, so a value wider
// than its column would run left over the kind icon), LEVEL whose title is
// wider than its three characters, and a wider font in the header.
TEST_F(Export, PdfTitlesAndValuesStandWholeInTheirColumns)
{
    const struct {
        bool relative;
        int points;
        std::vector<int32_t> fields;
    } cases[] = {{true, 10, {FIELD_TIME, FIELD_LEVEL, FIELD_SEQ, FIELD_TEXT}},
                 {false, 10, {FIELD_TIME, FIELD_LEVEL, FIELD_KXNAME, FIELD_TEXT}},
                 {false, 14, {FIELD_LEVEL, FIELD_TIME, FIELD_LINE, FIELD_KXNAME}},
                 {true, 8, {FIELD_KXNAME, FIELD_NEST, FIELD_TIME, FIELD_TEXT, FIELD_LEVEL}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.points) + (c.relative ? " points, relative" : " points, absolute"));
        PrefGlobal::Fonts[FONT_TABLE_VIEW] = QFont(QStringLiteral("DejaVu Sans Mono"), c.points);
        PrefTabTable prefs = PrefTabTable::Default();
        prefs.ClearColumns();
        for (int32_t field : c.fields)
            prefs.AddColumn(field);
        TabTable* tab = OpenDated(c.relative, prefs);
        const TablePdfWriter writer(*tab);
        ASSERT_EQ(writer.ColumnCount(), c.fields.size());
        const QFontMetricsF metrics(writer.Font());
        // The columns, the last one's title included, fit the page's width.
        EXPECT_LE(writer.TitleRect(c.fields.size() - 1).left() + metrics.horizontalAdvance(FieldTitle(c.fields.back())),
                  19400 / writer.Scale());
        for (size_t column = 0; column < c.fields.size(); ++column) {
            const int32_t field = c.fields[column];
            EXPECT_EQ(writer.Title(column), FieldTitle(field));
            EXPECT_LE(metrics.horizontalAdvance(FieldTitle(field)), writer.TitleRect(column).width()) << FieldKey(field);
            for (int32_t row = 0; row < 3; ++row) {
                const qreal y = 250 * (row + 1);
                const QRectF icon = writer.KindIconRect(y);
                const QRectF text = writer.TextBounds(row, column, y);
                const QRectF band = writer.TitleRect(column);
                EXPECT_GE(text.left(), icon.right()) << FieldKey(field) << " row " << row;
                EXPECT_GE(text.left(), band.left()) << FieldKey(field) << " row " << row;
                if (column + 1 < c.fields.size()) {
                    EXPECT_LE(text.right(), band.right()) << FieldKey(field) << " row " << row;
                }
            }
        }
        EXPECT_EQ(PdfPages(tab, "whole.pdf"), 1);
        delete tab;
    }
}

// A long value ends with "…" inside its column, the last one's at the
// page's edge, and rows are as tall as the page's font needs: its
// descenders stay in the row's band, and 55 rows still fill one page.
TEST_F(Export, PdfLongValuesEndInTheirColumnAndRowsHoldTheirFont)
{
    const std::string longText = "long " + std::string(300, 'W') + " end";
    const struct {
        int points;
        std::vector<int32_t> fields;
    } cases[] = {{10, {FIELD_TID, FIELD_TEXT}},
                 {14, {FIELD_TID, FIELD_TEXT}},
                 {14, {FIELD_TEXT, FIELD_LEVEL, FIELD_TID}},
                 {10, {FIELD_KXNAME, FIELD_TID, FIELD_LEVEL, FIELD_NEST, FIELD_LINE, FIELD_SEQ, FIELD_TEXT}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.points) + " points, " + std::to_string(c.fields.size()) + " columns");
        PrefGlobal::Fonts[FONT_TABLE_VIEW] = QFont(QStringLiteral("DejaVu Sans Mono"), c.points);
        PrefTabTable prefs = PrefTabTable::Default();
        SetColumns(prefs, c.fields);
        TabTable* tab = OpenRecords({Record("gjpqy short"), Record(longText.c_str()), Record("gjpqy")}, prefs);
        const TablePdfWriter writer(*tab);
        const QFontMetricsF metrics(writer.Font());
        const qreal step = writer.RowStep();
        EXPECT_GE(step, metrics.height());
        EXPECT_LE((TablePdfWriter::ROWS_PER_PAGE + 1) * step * writer.Scale(), 14000);
        const size_t text = size_t(std::find(c.fields.begin(), c.fields.end(), FIELD_TEXT) - c.fields.begin());
        const bool last = text + 1 == c.fields.size();
        for (int32_t row = 0; row < 3; ++row) {
            SCOPED_TRACE(row);
            const qreal y = step * (row + 1);
            for (size_t column = 0; column < c.fields.size(); ++column) {
                const QRectF bounds = writer.TextBounds(row, column, y);
                const QRectF band = writer.TitleRect(column).translated(0, y);
                EXPECT_GE(bounds.top(), band.top()) << column;
                EXPECT_LE(bounds.bottom(), band.bottom()) << column;
                EXPECT_GE(bounds.left(), band.left()) << column;
                EXPECT_LE(bounds.right(), band.right()) << column;
                EXPECT_LE(bounds.right() * writer.Scale(), 19400) << column;
            }
            const QString shown = writer.CellText(row, text);
            const QString value = QString::fromStdString(row == 1 ? longText : row == 0 ? "gjpqy short" : "gjpqy");
            if (row == 1 && last) {
                EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
                EXPECT_TRUE(value.startsWith(shown.chopped(1))) << shown.toStdString();
            } else {
                EXPECT_EQ(shown, value);
            }
        }
        EXPECT_EQ(PdfPages(tab, "long.pdf"), 1);
        delete tab;
    }
}

// A value with line breaks stays on its row, its breaks as blanks as in the
// text copy; a long one still ends with "…" in the last column.
TEST_F(Export, PdfValuesWithLineBreaksStayOnTheirRow)
{
    const std::string longText = "long\n" + std::string(300, 'W') + "\r\nend";
    const char* const values[] = {"one\ntwo", "one\r\ntwo\rthree\n", longText.c_str()};
    const std::vector<int32_t> layouts[] = {{FIELD_TID, FIELD_TEXT}, {FIELD_TEXT, FIELD_TID}};
    for (const std::vector<int32_t>& fields : layouts) {
        const bool last = fields.back() == FIELD_TEXT;
        SCOPED_TRACE(last ? "text last" : "text first");
        PrefGlobal::Fonts[FONT_TABLE_VIEW] = QFont(QStringLiteral("DejaVu Sans Mono"), 10);
        PrefTabTable prefs = PrefTabTable::Default();
        SetColumns(prefs, fields);
        TabTable* tab = OpenRecords({Record(values[0]), Record(values[1]), Record(values[2])}, prefs);
        const TablePdfWriter writer(*tab);
        const QFontMetricsF metrics(writer.Font());
        const size_t text = last ? 1 : 0;
        const QString wholeLong = QStringLiteral("long ") + QString(300, QLatin1Char('W')) + QStringLiteral("  end");
        const QString shown[] = {QStringLiteral("one two"), QStringLiteral("one  two three "), wholeLong};
        for (int32_t row = 0; row < 3; ++row) {
            SCOPED_TRACE(row);
            const QString cell = writer.CellText(row, text);
            if (row == 2 && last) {
                EXPECT_TRUE(cell.endsWith(QChar(0x2026))) << cell.toStdString();
                EXPECT_TRUE(wholeLong.startsWith(cell.chopped(1))) << cell.toStdString();
            } else {
                EXPECT_EQ(cell.toStdString(), shown[row].toStdString());
            }
            const qreal y = writer.RowStep() * (row + 1);
            const QRectF bounds = writer.TextBounds(row, text, y);
            const QRectF band = writer.TitleRect(text).translated(0, y);
            EXPECT_LT(bounds.height(), 2 * metrics.height());
            EXPECT_GE(bounds.top(), band.top());
            EXPECT_LE(bounds.bottom(), band.bottom());
            EXPECT_LE(bounds.right(), band.right());
        }
        EXPECT_EQ(PdfPages(tab, "breaks.pdf"), 1);
        delete tab;
    }
}

} // namespace
