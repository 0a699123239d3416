// The document loader: readers by file type, import templates from format
// families, the give-up rule, limits, the kxtcp companion and PROT, document
// metadata and view block, abort, and the messages the user sees.
#include <gtest/gtest.h>

#include <QMessageBox>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kxlib/reader/filecsv.h"
#include "kxlib/reader/filekx.h"
#include "kxlib/reader/filekxd.h"
#include "kxlib/reader/filekxl.h"
#include "kxlib/kxdrecord.h"
#include "kxlib/reader/log2kxdmulti.h"
#include "kxlib/table/kxtable_load.h"
#include "kxviewer/docloader.h"
#include "kxviewer/importformat.h"
#include "kxviewer/kxvglobals.h"
#include "kxviewer/loadmemory.h"
#include "kxviewer/preftable.h"
#include "kxviewer/shellservices.h"
#include "tests/kxlib/kxfilegen.h"
#include "tests/kxlib/kxlbytes.h"
#include "tests/kxlib/table_fixtures.h"
#include "tests/utils/osal/specialfiles.h"
#include "utils/common/convert.h"
#include "utils/common/inifile.h"

namespace {

using ZmLib::KxdProt;

// Records what the loader tells the shell; its progress display is shown
// on request and reports a cancel after a given number of updates.
class RecordingShell : public KxvShellServices {
public:
    RecordingShell() : previous_(KxvSetShell(this)) {}
    ~RecordingShell() override { KxvSetShell(previous_); }

    void AddToSystemLog(const QString& text, LogIcon) override { log.push_back(text.toStdString()); }
    void ShowStatus(const QString& text, bool, int) override { status.push_back(text.toStdString()); }
    int Information(const QString& text, bool) override
    {
        info.push_back(text.toStdString());
        return QMessageBox::Ok;
    }
    void ProcessEvents() override { ++events; }
    std::unique_ptr<KxvProgress> CreateProgress(const QString& label, const QString& cancel, int, int) override
    {
        if (onProgress)
            onProgress();
        progressLabel = label.toStdString();
        progressCancel = cancel.toStdString();
        return std::make_unique<Progress>(*this);
    }

    static bool Has(const std::vector<std::string>& lines, const std::string& part)
    {
        for (const std::string& line : lines)
            if (line.find(part) != std::string::npos)
                return true;
        return false;
    }

    std::vector<std::string> log, status, info;
    // Runs when the loader prepares its progress dialog: after the reader
    // opened the file, before the first record.
    std::function<void()> onProgress;
    std::string progressLabel, progressCancel;
    int events = 0;
    int shown = 0;
    int updates = 0;
    int cancelAfter = -1;
    bool canceled = false;
    bool closed = false;

private:
    struct Progress : KxvProgress {
        explicit Progress(RecordingShell& s) : shell(s) {}
        void Show() override { visible = true, ++shell.shown; }
        bool IsVisible() const override { return visible; }
        void SetValue(int) override { ++shell.updates; }
        bool WasCanceled() const override
        {
            return shell.canceled || (shell.cancelAfter >= 0 && shell.updates >= shell.cancelAfter);
        }
        void Cancel() override { shell.canceled = true, visible = false; }
        void Close() override { shell.closed = true, visible = false; }
        RecordingShell& shell;
        bool visible = false;
    };
    KxvShellServices* previous_;
};

// Collects the reports of one of the viewer's channels while alive.
class ChannelReports {
public:
    explicit ChannelReports(ZmLib::KX& channel)
        : channel_(channel), output_(channel.output), threshold_(channel.threshold)
    {
        channel_.output = &Collect;
        channel_.threshold = ZmLib::KX_LEVEL_DEBUG;
        All().clear();
    }
    ~ChannelReports()
    {
        channel_.output = output_;
        channel_.threshold = threshold_;
    }
    // Reports of every channel being collected, as "<channel> <text>".
    static std::vector<std::string>& All()
    {
        static std::vector<std::string> texts;
        return texts;
    }
    static int Count(const std::string& text) { return int(std::count(All().begin(), All().end(), text)); }

private:
    static int Collect(ZmLib::KXEVENT* event, ZmLib::KX* channel)
    {
        All().push_back(std::string(channel->name) + " " + (event->text ? event->text : ""));
        return 0;
    }
    ZmLib::KX& channel_;
    ZmLib::KxOutputFn output_;
    int32_t threshold_;
};

struct FieldSpec {
    const char* key;
    int32_t view;
    const char* expression;
};

ImportFormat MakeFormat(const std::string& name, int32_t mode, std::vector<FieldSpec> fields,
                        const std::string& delimiter = "", bool error = false)
{
    ImportFormat f;
    f.name = name;
    f.extension = "txt";
    f.mode = mode;
    f.delimiter = delimiter;
    f.JavaException = error;
    f.visual = name.find('#') == std::string::npos ? 1 : 0;
    for (const FieldSpec& s : fields)
        f.fields.push_back({s.key, s.view, s.expression});
    f.ComposeExpression();
    return f;
}

// A ';'-delimited field for each record field in field order, then `extra`
// more that name TEXT again.
std::vector<FieldSpec> EveryField(int extra = 0)
{
    std::vector<FieldSpec> specs;
    for (int32_t f = 0; f < FIELD_Nums + extra; ++f)
        specs.push_back({f < FIELD_Nums ? FieldTable[f].key : "TEXT", f, ";"});
    return specs;
}

class DocLoaderTest : public ::testing::Test {
protected:
    void SetUp() override { saved_ = ImportFormats; }
    void TearDown() override { ImportFormats = saved_; }

    // Appends a format; returns its index.
    int32_t Add(const ImportFormat& format)
    {
        ImportFormats.push_back(format);
        return int32_t(ImportFormats.size()) - 1;
    }

    KxTable* Load(const std::string& path, int32_t type, int32_t maxRecords = -1)
    {
        loader = std::make_unique<DocLoader>(QFileInfo(QString::fromStdString(path)), type);
        return loader->Load(maxRecords);
    }

    static std::string Text(KxTable& table, int32_t row, int32_t field)
    {
        return table.GetRecord(row)->Text(field);
    }

    TempDir dir;
    RecordingShell shell;
    std::unique_ptr<DocLoader> loader;

private:
    ImportFormatList saved_;
};

std::string KxRecords(int n, uint64_t tid = 7, uint8_t prot = 0, KxFileGen::Form form = KxFileGen::Form::Kx)
{
    std::string out;
    for (int k = 0; k < n; ++k) {
        std::string text = "message " + std::to_string(k);
        RawRecord raw;
        raw.tid = tid;
        raw.text = text.c_str();
        KxdProt prot_ = raw.Build();
        prot_.PROT = prot;
        KxFileGen::AppendRecord(out, prot_, form, false);
    }
    return out;
}

// A head with a bad magic: a bad record of 72 bytes.
std::string BadKxRecords(int n) { return std::string(size_t(n) * ZmLib::KxProt::LEN_HEADER, '\0'); }

} // namespace

TEST_F(DocLoaderTest, SysLogImportFillsFieldsAndColumns)
{
    const std::string path = dir.Write("sys.log",
                                       "Dec  7 11:12:16 buildhost kern.warning kernel: usb 1-1: new device\n"
                                       "Dec  7 11:12:17 buildhost daemon.info systemd[1]: Started\n"
                                       "not a syslog line\n");
    TableRef table(Load(path, 0));
    ASSERT_NE(table.table, nullptr);
    ASSERT_EQ(table->RowCount(), 3);
    // Times shown relative to the first record.
    EXPECT_EQ(int64_t(table->Prefs().Time0), ZmLib::Str2Time("Dec  7 11:12:16"));
    EXPECT_EQ(int64_t(table->GetRecord(1)->prot.msg.TIME), 1000000);
    EXPECT_EQ(Text(*table, 0, FIELD_HOST), "buildhost");
    EXPECT_EQ(table->GetRecord(0)->prot.msg.LEVEL, 0);
    EXPECT_EQ(table->GetRecord(1)->prot.msg.LEVEL, 2);
    EXPECT_EQ(Text(*table, 0, FIELD_KXNAME), "kernel");
    EXPECT_EQ(Text(*table, 0, FIELD_TEXT), "usb 1-1: new device");
    EXPECT_EQ(Text(*table, 1, FIELD_KXNAME), "systemd[1]");
    EXPECT_EQ(Text(*table, 2, FIELD_TEXT), "not a syslog line");
    const PrefTabTable& tab = loader->TabPrefs();
    ASSERT_EQ(tab.columnCount, 5);
    EXPECT_EQ(std::vector<int32_t>(tab.columns, tab.columns + 6),
              (std::vector<int32_t>{FIELD_TIME, FIELD_HOST, FIELD_LEVEL, FIELD_KXNAME, FIELD_TEXT, -1}));
    EXPECT_FALSE(table->Modified());
    const std::string done = "Document \"sys\" imported by format \"SysLog.log\": 3 rows";
    EXPECT_EQ(shell.log.back(), done);
    EXPECT_EQ(shell.status.back(), done);
    EXPECT_EQ(shell.log.front(), "Loading file: " + path);
    EXPECT_EQ(shell.status.front(), "Loading file: " + path);
    EXPECT_GE(shell.events, 1);
    EXPECT_EQ(shell.progressLabel, "Opening file sys");
    EXPECT_EQ(shell.progressCancel, "Abort");
    EXPECT_TRUE(shell.closed);
    EXPECT_EQ(shell.shown, 0);
}

// A load without the aux tree (kxfind's) gives every row the same field
// texts as the viewer's load, with one worker and with several, and the
// viewer's load has its tree.
TEST_F(DocLoaderTest, LoadWithoutAuxTreeKeepsEveryField)
{
    std::string text;
    for (int k = 0; k < 3000; ++k)
        text += "Dec  7 11:" + std::to_string(10 + k / 600) + ":" + std::to_string(10 + k / 100 % 6 * 8) +
                " host" + std::to_string(k % 3) + " daemon.info proc" + std::to_string(k % 97) + "[" +
                std::to_string(k % 13) + "]: message " + std::to_string(k) + "\n";
    text += "not a syslog line\n";
    const std::string path = dir.Write("names.log", text);
    for (int workers : {1, 8}) {
        SCOPED_TRACE("workers " + std::to_string(workers));
        std::vector<std::vector<std::string>> rows[2];
        for (bool tree : {true, false}) {
            loader = std::make_unique<DocLoader>(QFileInfo(QString::fromStdString(path)), 0);
            loader->SetWorkers(workers);
            if (!tree)
                loader->SkipAuxTree();
            TableRef table(loader->Load(-1));
            ASSERT_NE(table.table, nullptr);
            EXPECT_EQ(table->AuxTree().Count() > 0, tree);
            for (int32_t row = 0; row < table->RowCount(); ++row) {
                rows[tree].emplace_back();
                // STIME is the time of each load.
                for (int32_t field = 0; field < FIELD_Nums; ++field)
                    if (field != FIELD_STIME)
                        rows[tree].back().push_back(Text(*table, row, field));
            }
        }
        ASSERT_EQ(rows[0].size(), 3001u);
        EXPECT_EQ(rows[0], rows[1]);
    }
}

// Templates see a line with its LF, a CR LF line as the LF line it stands
// for: the built-in SysLog's name runs to the line end when nothing follows
// it, a user's format ending in "\\s" matches, and no field keeps a CR.
TEST_F(DocLoaderTest, TemplatesSeeTheLineEnd)
{
    const int32_t spaced = Add(MakeFormat("Spaced", 1, {{"KXNAME", 0, "(\\w+)\\s"}, {"TEXT", 1, "(.*)\\s"}}));
    const struct {
        const char* what;
        int32_t format;
        std::vector<std::string> lines; // without their ends
        std::vector<int32_t> shown;
        std::vector<std::string> rows; // the shown fields joined by '|'
    } cases[] = {
        {"SysLog", 0,
         {"Jan  1 00:16:35 h1 Xdebug message repeated 3 times", "Dec  7 11:12:16 h2 kern.warning kernel: usb 1-1"},
         {FIELD_HOST, FIELD_LEVEL, FIELD_KXNAME, FIELD_TEXT},
         {"h1|3|message repeated 3 times|", "h2|0|kernel|usb 1-1"}},
        {"a format ending in a space class", spaced, {"alpha one two", "beta three"}, {FIELD_KXNAME, FIELD_TEXT},
         {"alpha|one two", "beta|three"}},
    };
    for (const auto& c : cases) {
        for (const char* end : {"\n", "\r\n"}) {
            SCOPED_TRACE(std::string(c.what) + (end[0] == '\r' ? ", CR LF" : ", LF"));
            std::string text;
            for (const std::string& line : c.lines)
                text += line + end;
            TableRef table(Load(dir.Write("ends.log", text), c.format));
            ASSERT_NE(table.table, nullptr);
            std::vector<std::string> rows;
            for (int32_t row = 0; row < table->RowCount(); ++row) {
                std::string shown;
                for (size_t k = 0; k < c.shown.size(); ++k)
                    shown += (k > 0 ? "|" : "") + Text(*table, row, c.shown[k]);
                rows.push_back(shown);
            }
            EXPECT_EQ(rows, c.rows);
        }
    }
}

// A line that no template describes keeps its text; after the import the
// System Log counts such lines and the lines a template passed over, with
// thousands separators, and says nothing when there were none.
TEST_F(DocLoaderTest, UnmatchedLinesKeepTheirTextAndAreCounted)
{
    struct Line {
        std::string text;
        std::string shownText; // TEXT of its record
        // TIME of its record in the relative document: a row without a
        // time stands at the document's start.
        std::string shownTime = "0:00:00.000000";
    };
    // Debian syslog: with and without a facility.level word, a host written
    // '-', a Windows line end.
    const std::vector<Line> sysLog = {
        {"Dec  7 14:13:16 host kern.warning kernel: usb 1-1: new device\n", "usb 1-1: new device"},
        {"Dec  7 14:13:17 host prog[123]: text\n", "Dec  7 14:13:17 host prog[123]: text"},
        {"Dec  7 14:13:18 - daemon.err cron[7]: job\n", "Dec  7 14:13:18 - daemon.err cron[7]: job"},
        {"Dec  7 14:13:19 host systemd[1]: Started\r\n", "Dec  7 14:13:19 host systemd[1]: Started"},
    };
    const struct {
        const char* what;
        int32_t format; // -1: three groups for two fields, -2: every line matches
        std::vector<Line> block;
        int repeat;
        std::vector<std::string> reports;
    } cases[] = {
        {"syslog without facility or host", 0, sysLog, 400,
         {"Import \"sys.log\": 1,200 of 1,600 lines matched no template of \"SysLog\""}},
        {"group count differs from field count", -1, {{"abc\n", "abc"}, {"bcd\n", "bcd"}}, 1,
         {"Import \"sys.log\": 2 of 2 lines matched no template of \"Fmt\"",
          "Import \"sys.log\": 2 of 2 lines skipped by template 1 of \"Fmt\": 3 groups for 2 fields"}},
        {"every line matched", -2, {{"x 1\n", "x 1"}}, 3, {}},
        {"rows without a time before and after the first timed one",
         0,
         {{"garbage line here\n", "garbage line here"},
          {"Dec  7 11:12:16 h2 kern.warning kernel: one\n", "one"},
          {"garbage line here\n", "garbage line here"},
          // A line longer than a row goes on in a row without a time; its
          // TEXT is cut to the record's string area.
          {"Dec  7 11:12:18 h2 kern.warning kernel: " + std::string(1059, 'x') + "tail\n", std::string(371, 'x'),
           "0:00:02.000000"},
          {"", "tail"}},
         1,
         {"Import \"sys.log\": 3 of 4 lines matched no template of \"SysLog\"",
          "Import \"sys.log\": 1 of 4 lines longer than 1,099 bytes read as several rows; line 4",
          "Import \"sys.log\": 1 of 4 lines with a field cut to fit the record; line 4, field TEXT"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        int32_t format = c.format;
        if (format == -1)
            format = Add(MakeFormat("Fmt", 1, {{"HOST", 0, "((a)|b)"}, {"TEXT", 1, "(.*)"}}));
        else if (format == -2)
            format = Add(MakeFormat("All", 1, {{"TEXT", 0, "(x \\d)"}}));
        std::string text;
        for (int k = 0; k < c.repeat; ++k)
            for (const Line& line : c.block)
                text += line.text;
        shell.log.clear();
        TableRef table(Load(dir.Write("sys.log", text), format));
        ASSERT_NE(table.table, nullptr);
        ASSERT_EQ(table->RowCount(), int32_t(c.block.size()) * c.repeat);
        for (int32_t row = 0; row < table->RowCount(); ++row) {
            const Line& line = c.block[size_t(row) % c.block.size()];
            ASSERT_EQ(Text(*table, row, FIELD_TEXT), line.shownText) << row;
            EXPECT_EQ(Text(*table, row, FIELD_TIME), line.shownTime) << row;
        }
        std::vector<std::string> reports;
        for (const std::string& line : shell.log)
            if (line.rfind("Import \"", 0) == 0)
                reports.push_back(line);
        EXPECT_EQ(reports, c.reports);
    }
}

// Each member of a family maps its own groups; a disabled member is left
// out; the merged fields give the columns.
TEST_F(DocLoaderTest, FamilyMembersFillTheirOwnColumns)
{
    const int32_t main = Add(MakeFormat("Fam", 1, {{"SEQ", 0, "(\\d+) "}, {"HOST", 1, "(\\w+) "}, {"TEXT", 2, "(.*)"}}));
    Add(MakeFormat("Fam #2", 1, {{"KXNAME", 0, "C (.*) "}, {"TEXT", 1, "@(\\w+)"}}));
    Add(MakeFormat("Fam #1", 1, {{"HOST", 0, "B (\\w+) "}, {"SEQ", 1, "(\\d+) "}, {"TEXT", 2, "(.*)"}}));
    ImportFormat off = MakeFormat("Fam #3", 1, {{"PNAME", 0, "(.*)"}});
    off.enabled = false;
    Add(off);
    const std::string path = dir.Write("fam.txt", "12 alpha first\nB beta 34 second\nC third @gamma\n");
    TableRef table(Load(path, main));
    ASSERT_NE(table.table, nullptr);
    ASSERT_EQ(table->RowCount(), 3);
    EXPECT_EQ(table->GetRecord(0)->prot.msg.SEQ, 12u);
    EXPECT_EQ(Text(*table, 0, FIELD_HOST), "alpha");
    EXPECT_EQ(table->GetRecord(1)->prot.msg.SEQ, 34u);
    EXPECT_EQ(Text(*table, 1, FIELD_HOST), "beta");
    EXPECT_EQ(Text(*table, 1, FIELD_TEXT), "second");
    EXPECT_EQ(Text(*table, 2, FIELD_KXNAME), "third");
    EXPECT_EQ(Text(*table, 2, FIELD_TEXT), "gamma");
    const DocLoader::ImportFields* fields = loader->Fields();
    ASSERT_NE(fields, nullptr);
    EXPECT_EQ(std::vector<int32_t>(fields->field, fields->field + fields->count),
              (std::vector<int32_t>{FIELD_SEQ, FIELD_HOST, FIELD_TEXT, FIELD_KXNAME}));
    EXPECT_EQ(fields->visual[3], 3);
    EXPECT_EQ(loader->TabPrefs().columnCount, 4);
    EXPECT_EQ(loader->TabPrefs().columns[3], FIELD_KXNAME);
}

TEST_F(DocLoaderTest, ViewPositionsWithGapsAndTies)
{
    const int32_t f = Add(MakeFormat("Gaps", 1,
                                     {{"TEXT", 4, "(\\w+) "}, {"HOST", -1, "(\\w+) "}, {"SEQ", 4, "(\\d+)"},
                                      {"LINE", 30, " ?(\\d*)"}}));
    TableRef table(Load(dir.Write("g.txt", "a b 3\n"), f));
    ASSERT_NE(table.table, nullptr);
    const PrefTabTable& tab = loader->TabPrefs();
    EXPECT_EQ(tab.columnCount, 2);
    EXPECT_EQ(tab.columns[0], FIELD_TEXT);
    EXPECT_EQ(tab.columns[1], FIELD_SEQ);
    EXPECT_EQ(tab.columns[2], -1);

    // A delimited format shows its own columns in the same way.
    const int32_t d = Add(MakeFormat("Delim", 0, {{"TIME", 2, ""}, {"HOST", 0, ""}, {"TEXT", 1, ""}, {"SEQ", -1, ""}}, ","));
    TableRef delimited(Load(dir.Write("d.txt", "1700000000000000,h1,text one,7\n"), d));
    ASSERT_NE(delimited.table, nullptr);
    const PrefTabTable& cols = loader->TabPrefs();
    EXPECT_EQ(cols.columnCount, 3);
    EXPECT_EQ(std::vector<int32_t>(cols.columns, cols.columns + 4),
              std::vector<int32_t>({FIELD_HOST, FIELD_TEXT, FIELD_TIME, -1}));
}

TEST_F(DocLoaderTest, BadFormatsFailWithTheirMessages)
{
    const struct {
        const char* what;
        ImportFormat format;
        const char* message;
        bool loads;  // a delimited format only needs its field list
        bool boxed;  // shown in an information box too
        bool logged; // false: the message must not appear at all
    } cases[] = {
        {"unknown key", MakeFormat("Bad", 0, {{"TIMES", 0, ";"}}), "Incorrect field name in ini-file: TIMES", false,
         true, true},
        {"unknown key in a template", MakeFormat("BadLog", 1, {{"TIMES", 0, "(\\d+)"}}),
         "Import : BadLog - Need select field - field: TIMES", false, false, true},
        // A delimited format cuts lines at its delimiter: its fields need no
        // expression.
        {"delimited fields without expressions", MakeFormat("Empty", 0, {{"TEXT", 0, ""}}), "Expression is empty",
         true, false, false},
        {"delimited fields without expressions, with a delimiter",
         MakeFormat("EmptyTwo", 0, {{"HOST", 0, ""}, {"TEXT", 1, ""}}, ";"), "Expression is empty", true, false,
         false},
        {"no fields, delimited", MakeFormat("None", 0, {}), "Import format \"None\" has no fields", false, true, true},
        {"one field more than a record has", MakeFormat("Wide", 0, EveryField(1), ";"),
         "Too many fields in import format \"Wide\": 26, at most 25", false, true, true},
        {"no usable member", MakeFormat("NoBracket", 1, {{"TEXT", 0, "x"}}),
         "Import format \"NoBracket\" has no usable template", false, true, true},
    };
    const std::string path = dir.Write("bad.txt", "1\n");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        shell.info.clear();
        shell.log.clear();
        TableRef table(Load(path, Add(c.format)));
        EXPECT_EQ(table.table != nullptr, c.loads);
        EXPECT_EQ(RecordingShell::Has(shell.info, c.message), c.boxed);
        EXPECT_EQ(RecordingShell::Has(shell.log, c.message), c.logged);
    }
    // The expression of a regular-expression format is built; an empty one
    // is named.
    for (const ImportFormat& format :
         {MakeFormat("EmptyRegex", 1, {{"TEXT", 0, ""}}), MakeFormat("NoFieldsRegex", 1, {})}) {
        SCOPED_TRACE(format.name);
        shell.info.clear();
        shell.log.clear();
        DocLoader::ImportFields fields;
        std::string expression = "stale";
        EXPECT_FALSE(DocLoader::BuildImportRegex(format, fields, expression));
        EXPECT_EQ(expression, "");
        EXPECT_EQ(shell.info, std::vector<std::string>{"Expression is empty"});
        EXPECT_EQ(shell.log, std::vector<std::string>{"Expression is empty"});
    }
    // The built-in format's expression: its fields' parts and the optional
    // line end.
    {
        DocLoader::ImportFields fields;
        std::string expression;
        ASSERT_TRUE(DocLoader::BuildImportRegex(DefaultImportTemplates()[0], fields, expression));
        EXPECT_EQ(expression, "(\\w{3}[\\d\\W]+)\\s(\\(?\\w+\\)?)\\s[\\w\\.]+?(\\w+)\\s([^:]+):?\\s(.*)\\r?\\n?");
    }
    EXPECT_EQ(Load(path, 1000), nullptr);
    EXPECT_TRUE(RecordingShell::Has(shell.info, "Unknown import type for file " + path));

    // As many fields as a record has: each value lands in its field (numbers
    // end at ',', texts at the separator).
    std::string line;
    for (int32_t f = 0; f < FIELD_Nums; ++f)
        line += std::to_string(f) + (FieldTable[f].desc.kind == FIELD_KIND_STRING ? ";" : ",");
    TableRef every(Load(dir.Write("every.txt", line + "\n"), Add(MakeFormat("Every", 0, EveryField(), ";"))));
    ASSERT_NE(every.table, nullptr);
    ASSERT_EQ(every->RowCount(), 1);
    EXPECT_EQ(every->GetRecord(0)->prot.NUM2, uint64_t(FIELD_NUM2));
    EXPECT_EQ(every->GetRecord(0)->prot.msg.SEQ, uint32_t(FIELD_SEQ));
    EXPECT_EQ(Text(*every, 0, FIELD_FILE), std::to_string(FIELD_FILE));
}

TEST_F(DocLoaderTest, DelimitedTextSkipsBadLines)
{
    const int32_t f = Add(MakeFormat("Csv", 0, {{"NUM1", 0, ";"}, {"HOST", 1, ";"}, {"TEXT", 2, ""}}, ";"));
    std::string text = "oops,pc;x\n";
    for (int k = 0; k < 5; ++k)
        text += std::to_string(k + 10) + ",pc" + std::to_string(k) + ";text\n";
    TableRef table(Load(dir.Write("a.csv", text), f));
    ASSERT_NE(table.table, nullptr);
    ASSERT_EQ(table->RowCount(), 5);
    EXPECT_EQ(table->GetRecord(0)->prot.NUM1, 10u);
    EXPECT_EQ(Text(*table, 4, FIELD_HOST), "pc4");
    EXPECT_EQ(Text(*table, 4, FIELD_TEXT), "text");
    EXPECT_TRUE(RecordingShell::Has(shell.log, "imported by format \"Csv.txt\": 5 rows"));
}

// After a text import the System Log says how many lines were refused (and
// why the first one in file order was), read as several rows, cut to fit the
// record, or held a time that could not be read, with the first line of
// each, with one worker or many; nothing when every line was read whole. A
// long line is cut between two UTF-8 characters.
TEST_F(DocLoaderTest, RefusedDelimitedLinesAreNamed)
{
    const int32_t csv = Add(MakeFormat("AppCSV", 0, {{"TIME", 0, ","}, {"HOST", 1, ";"}, {"TEXT", 2, ""}}, ";"));
    const int32_t web =
        Add(MakeFormat("Web", 1, {{"IP", 0, "(\\S+) - - "}, {"TIME", 1, "(\\[[^\\]]*\\]|\\S+) "}, {"TEXT", 2, "(.*)"}}));
    const int32_t any = Add(MakeFormat("Any", 1, {{"TEXT", 0, "(.*)"}}));
    const int32_t inner = Add(MakeFormat("Inner", 1, {{"TIME", 0, "\\[([^\\]]*)\\] "}, {"TEXT", 1, "(.*)"}}));
    // Line n (from 1) of a file of lines; bad(n) gives a refused line's text
    // or nothing.
    const auto file = [](int lines, const std::function<std::string(int)>& bad) {
        std::string text;
        for (int n = 1; n <= lines; ++n) {
            const std::string own = bad(n);
            text += own.empty() ? std::to_string(1733558400000000LL + n) + ",pc" + std::to_string(n % 7) + ";line\n"
                                : own;
        }
        return text;
    };
    const auto none = [](int) { return std::string(); };
    const auto dateTimes = [](int) { return std::string("2024-12-07 08:00:00.237,pc1;started\n"); };
    const auto few = [](int n) {
        return n == 40001 ? "12:00,pc2;late\n" : n == 50001 ? "99999999999999999999,pc3;big\n" : std::string();
    };
    // Lines 5 and 40 run on for 2,500 characters of "x,": their second rows
    // start with "x", which is not a number, their third with ',', which
    // reads as TIME 0.
    const auto longText = [](int n) {
        std::string text;
        if (n == 5 || n == 40) {
            text = std::to_string(1733558400000000LL + n) + ",pc;";
            for (int k = 0; k < 1250; ++k)
                text += "x,";
            text += "\n";
        }
        return text;
    };
    std::string nginx;
    for (int n = 1; n <= 60; ++n)
        nginx += n <= 3 ? "10.0.0.1 - - 2024-12-07T08:00:0" + std::to_string(n) + " \"GET /\" 200 1\n"
                        : "10.0.0.1 - - [07/Dec/2024:08:00:00 +0100] \"GET / HTTP/1.1\" 200 612\n";
    // Deep in a long file, read ahead in many pieces.
    std::string deep;
    for (int n = 1; n <= 60000; ++n)
        deep += n == 40001 || n == 50001 ? "10.0.0.1 - - [07/Dec/2024:08:00:00 +0100] \"GET / HTTP/1.1\" 200 612\n"
                : n == 45000            ? "10.0.0.1 - - 2024-12-07T08:00:00 \"GET /" + std::string(2000, 'a') + "\"\n"
                                        : "10.0.0.1 - - 2024-12-07T08:00:00 \"GET /" + std::to_string(n) + "\" 200 1\n";
    std::string characters;
    for (int k = 0; k < 400; ++k)
        characters += "\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD"; // é€中
    const std::string allRefused = "refused by \"AppCSV\"; line 1, column 1 (TIME): "
                                   "\"2024-12-07 08:00:00.237\" is not a number";
    struct Case {
        const char* what;
        int32_t format;
        std::string text;
        int32_t maxRecords;
        int rows;
        std::vector<std::string> logged; // after "Import \"app.csv\": "
    };
    const Case cases[] = {
        {"date-time text: the load gives up", csv, file(50001, dateTimes), -1, -1,
         {"stopped after 10 lines " + allRefused}},
        {"61 lines of date-time text: the load gives up", csv, file(61, dateTimes), -1, -1,
         {"stopped after 10 lines " + allRefused}},
        {"date-time text: a ten-line try", csv, file(50001, dateTimes), 10, 0, {"10 of 10 lines " + allRefused}},
        {"a few bad lines deep in the file", csv, file(60000, few), -1, 59998,
         {"2 of 60,000 lines refused by \"AppCSV\"; line 40,001, column 1 (TIME): \"12:00\" is not a number"}},
        {"every line read", csv, file(60000, none), -1, 60000, {}},
        {"long delimited lines", csv, file(61, longText), -1, 63,
         {"2 of 61 lines refused by \"AppCSV\"; line 5, column 1 (TIME): \"x\" is not a number",
          "2 of 61 lines longer than 1,099 bytes read as several rows; line 5",
          "2 of 61 lines with a field cut to fit the record; line 5, field TEXT"}},
        {"nginx times read as TIME", web, nginx, -1, 60,
         {"57 of 60 lines with a time that could not be read, stored as 0; line 4, TIME: "
          "\"[07/Dec/2024:08:00:00 +0100]\""}},
        // The second row of the long line matches no template; the line is
        // counted once, with the lines.
        {"findings deep in a log file", web, deep, -1, 60001,
         {"1 of 60,000 lines matched no template of \"Web\"",
          "1 of 60,000 lines longer than 1,099 bytes read as several rows; line 45,000",
          "1 of 60,000 lines with a field cut to fit the record; line 45,000, field TEXT",
          "2 of 60,000 lines with a time that could not be read, stored as 0; line 40,001, TIME: "
          "\"[07/Dec/2024:08:00:00 +0100]\""}},
        // The limit does not count the line end, LF or CR LF.
        {"lines of the limit and one more", any,
         std::string(1099, 'a') + "\n" + std::string(1098, 'b') + "\r\n" + std::string(1099, 'c') + "\r\n" +
             std::string(1100, 'd') + "\r\n",
         -1, 5,
         {"1 of 4 lines longer than 1,099 bytes read as several rows; line 4",
          "4 of 4 lines with a field cut to fit the record; line 1, field TEXT"}},
        // Only the leading "07" of an nginx time reads as a number.
        {"an nginx time read in part", inner, "[2024-12-07T08:00:00] ok\n[07/Dec/2024:08:00:00 +0100] GET\n", -1, 2,
         {"1 of 2 lines with a time that could not be read, stored as 0; line 2, TIME: "
          "\"07/Dec/2024:08:00:00 +0100\""}},
        {"UTF-8 text longer than a row", any, "short\n" + characters + "\n", -1, 4,
         {"1 of 2 lines longer than 1,099 bytes read as several rows; line 2",
          "1 of 2 lines with a field cut to fit the record; line 2, field TEXT"}},
    };
    for (const Case& c : cases) {
        for (int workers : {1, 8}) {
            SCOPED_TRACE(std::string(c.what) + ", workers " + std::to_string(workers));
            shell.log.clear();
            shell.canceled = false;
            const std::string path = dir.Write("app.csv", c.text);
            loader = std::make_unique<DocLoader>(QFileInfo(QString::fromStdString(path)), c.format);
            loader->SetWorkers(workers);
            TableRef table(loader->Load(c.maxRecords));
            EXPECT_EQ(table.table != nullptr ? table->RowCount() : -1, c.rows);
            std::vector<std::string> reports;
            for (const std::string& line : shell.log)
                if (line.rfind("Import \"", 0) == 0)
                    reports.push_back(line);
            std::vector<std::string> expected;
            for (const std::string& line : c.logged)
                expected.push_back("Import \"app.csv\": " + line);
            EXPECT_EQ(reports, expected);
            // Every row's text is whole characters: none is cut inside one.
            for (int32_t row = 0; table.table != nullptr && row < table->RowCount(); ++row) {
                const std::string text = Text(*table, row, FIELD_TEXT);
                EXPECT_EQ(QString::fromUtf8(text.c_str()).toUtf8().toStdString(), text) << row;
            }
        }
    }
}

// Imported numbers of the viewer-side fields survive the load whole, wider
// than 32 bits and negative, and are shown whole.
TEST_F(DocLoaderTest, ImportedNumbersAreKeptShownAndFoundWhole)
{
    const struct {
        int64_t num1, num2;
        const char* shown1;
        const char* shown2;
    } rows[] = {
        {4242, 0, "4242", "0"},
        {-439630792, -794475663868033, "-439630792", "-794475663868033"},
        {123456789012, INT64_MAX, "123456789012", "9223372036854775807"},
    };
    const int32_t format =
        Add(MakeFormat("Num", 1, {{"NUM1", 0, "(\\S+) "}, {"NUM2", 1, "(\\S+) "}, {"TEXT", 2, "(.*)"}}));
    std::string text;
    for (const auto& row : rows)
        text += std::string(row.shown1) + " " + row.shown2 + " x\n";
    TableRef table(Load(dir.Write("n.txt", text), format));
    ASSERT_NE(table.table, nullptr);
    ASSERT_EQ(table->RowCount(), 3);
    for (int32_t row = 0; row < 3; ++row) {
        EXPECT_EQ(table->GetRecord(row)->Int64(FIELD_NUM1), rows[row].num1);
        EXPECT_EQ(table->GetRecord(row)->Int64(FIELD_NUM2), rows[row].num2);
        EXPECT_EQ(Text(*table, row, FIELD_NUM1), rows[row].shown1);
        EXPECT_EQ(Text(*table, row, FIELD_NUM2), rows[row].shown2);
    }
}

TEST_F(DocLoaderTest, GiveUpRule)
{
    const struct {
        const char* what;
        std::string bytes;
        int rows; // -1: given up
    } cases[] = {
        {"ten bad first", BadKxRecords(10) + KxRecords(3), -1},
        {"one good, then ten bad", KxRecords(1) + BadKxRecords(10), 1},
        {"nine bad, then good", BadKxRecords(9) + KxRecords(2), 2},
        {"empty file", "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        shell.info.clear();
        shell.canceled = false;
        const std::string path = dir.Write("g.kx", c.bytes);
        KxTable* table = Load(path, FILE_TYPE_KX);
        if (c.rows < 0) {
            EXPECT_EQ(table, nullptr);
            EXPECT_TRUE(RecordingShell::Has(shell.info, "Too many errors while reading " + path));
            EXPECT_TRUE(shell.canceled);
            continue;
        }
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(table->RowCount(), c.rows);
        EXPECT_EQ(shell.log.back(), "Document \"g\" opened: " + std::to_string(c.rows) + " rows");
        table->Release();
    }
    // The same rule for text: ten bad delimited lines.
    const int32_t f = Add(MakeFormat("Nums", 0, {{"LINE", 0, ";"}}, ";"));
    std::string lines;
    for (int k = 0; k < 10; ++k)
        lines += "x\n";
    EXPECT_EQ(Load(dir.Write("bad.csv", lines + "1,\n"), f), nullptr);
}

TEST_F(DocLoaderTest, MaxRecordsLimitsAttempts)
{
    std::string text;
    for (int k = 0; k < 100; ++k)
        text += "Dec  7 11:12:16 host daemon.info proc[1]: line " + std::to_string(k) + "\n";
    TableRef table(Load(dir.Write("long.log", text), 0, 10));
    ASSERT_NE(table.table, nullptr);
    EXPECT_EQ(table->RowCount(), 10);
    EXPECT_EQ(shell.shown, 0);
    TableRef none(Load(dir.Write("long2.log", text), 0, 0));
    ASSERT_NE(none.table, nullptr);
    EXPECT_EQ(none->RowCount(), 0);
}

// kxtcp records get PROT 1 and the thread names of the companion kxudp;
// other kx files get PROT 0; kxd records keep the PROT they were stored with.
TEST_F(DocLoaderTest, KxFamilyProtAndCompanion)
{
    KxFileGen::Options options;
    options.records = 40;
    ASSERT_TRUE(KxFileGen::WriteTrace(dir.Path("x.kxudp").c_str(), options));
    const uint64_t tid = KxFileGen::ThreadId(0, 0);
    dir.Write("x.kxtcp", KxRecords(3, tid, 9));
    {
        TableRef table(Load(dir.Path("x.kxtcp"), FILE_TYPE_KX));
        ASSERT_NE(table.table, nullptr);
        ASSERT_EQ(table->RowCount(), 3);
        ASSERT_NE(table->Satellite(), nullptr);
        EXPECT_GT(table->Satellite()->RecordCount(), 0);
        EXPECT_EQ(table->GetRecord(0)->prot.PROT, 1);
        EXPECT_EQ(Text(*table, 0, FIELD_PROT), "1");
        EXPECT_EQ(Text(*table, 2, FIELD_TNAME), KxFileGen::ThreadName(0, 0));
    }
    ChannelReports reports(KxvTearoffChannel);
    const struct {
        const char* name;
        KxFileGen::Form form;
        int32_t type;
        int prot;
    } cases[] = {
        {"y.kxtcp", KxFileGen::Form::Kx, FILE_TYPE_KX, 1},
        {"y.kx", KxFileGen::Form::Kx, FILE_TYPE_KX, 0},
        {"y.kxudp", KxFileGen::Form::Kx, FILE_TYPE_KX, 0},
        {"y.kxd", KxFileGen::Form::Kxd, FILE_TYPE_KXD, 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TableRef table(Load(dir.Write(c.name, KxRecords(2, tid, 9, c.form)), c.type));
        ASSERT_NE(table.table, nullptr);
        EXPECT_EQ(table->Satellite(), nullptr);
        EXPECT_EQ(table->GetRecord(1)->prot.PROT, c.prot);
    }
    EXPECT_EQ(ChannelReports::Count("TEAROFF Satellite file not found"), 1);
}

TEST_F(DocLoaderTest, SilentLoadKeepsFlaggedRecords)
{
    std::string bytes;
    for (uint32_t k = 0; k < 6; ++k) {
        RawRecord raw;
        raw.flags = k % 2 ? 0x1000 : 0;
        raw.text = k % 2 ? "Thread: worker, TID=7" : "plain";
        KxFileGen::AppendRecord(bytes, raw.Build(), KxFileGen::Form::Kx, false);
    }
    const std::string path = dir.Write("s.kx", bytes);
    TableRef all(DocLoader::LoadKxFileSilent(path.c_str(), false));
    ASSERT_NE(all.table, nullptr);
    EXPECT_EQ(all->RecordCount(), 6);
    EXPECT_STREQ(all->Name(), "");
    TableRef flagged(DocLoader::LoadKxFileSilent(path.c_str(), true));
    ASSERT_NE(flagged.table, nullptr);
    ASSERT_EQ(flagged->RecordCount(), 3);
    for (int32_t k = 0; k < 3; ++k)
        EXPECT_EQ(flagged->GetRecord(k)->prot.msg.FLAGS, 0x1000u);
    dir.Write("bad.kx", BadKxRecords(12));
    EXPECT_EQ(DocLoader::LoadKxFileSilent(dir.Path("bad.kx").c_str(), false), nullptr);
    EXPECT_TRUE(RecordingShell::Has(shell.log, "Too many errors while reading " + dir.Path("bad.kx")));
    EXPECT_TRUE(shell.info.empty());
}

TEST_F(DocLoaderTest, AbortKeepsRowsRead)
{
    const int32_t f = Add(MakeFormat("Big", 1, {{"TEXT", 0, "(.*)"}}));
    std::string text;
    const std::string line = std::string(79, 'z') + "\n";
    text.reserve(150000 * line.size());
    for (int k = 0; k < 150000; ++k)
        text += line;
    shell.cancelAfter = 2;
    ChannelReports reports(KxvTearoffChannel);
    TableRef table(Load(dir.Write("big.txt", text), f));
    ASSERT_NE(table.table, nullptr);
    EXPECT_EQ(shell.shown, 1);
    EXPECT_EQ(shell.updates, 2);
    EXPECT_GT(table->RowCount(), 0);
    EXPECT_LT(table->RowCount(), 150000);
    EXPECT_EQ(ChannelReports::Count("TEAROFF Importing canceled by user"), 1);
    const std::string done = "Document \"big\" imported by format \"Big.txt\": " +
                             std::to_string(table->RecordCount()) +
                             " records read; the load was incomplete: Abort (partial)";
    EXPECT_EQ(shell.log.back(), done);
    EXPECT_EQ(shell.status.back(), done);
    EXPECT_EQ(loader->Incomplete(), "Abort");
    EXPECT_TRUE(shell.closed);
}

// A file that ends inside a record keeps the records before it, and the
// load says where the file ended (the System Log's words are tried with
// Abort); a whole file, or one read up to a limit, is no partial load.
TEST_F(DocLoaderTest, FileEndingInsideARecordIsAPartialLoad)
{
    const std::string five = KxRecords(5);
    const std::string fiveKxd = KxRecords(5, 7, 0, KxFileGen::Form::Kxd);
    const struct {
        const char* what;
        const char* name;
        int32_t type;
        std::string bytes;
        int32_t maxRecords;
        int32_t rows;
        const char* reason;
    } cases[] = {
        {"inside a header", "head.kx", FILE_TYPE_KX, five + KxRecords(1).substr(0, 30), -1, 5,
         "file ends inside record #6"},
        {"inside a receive prefix", "cut.kxd", FILE_TYPE_KXD, fiveKxd + fiveKxd.substr(0, 10), -1, 5,
         "file ends inside record #6"},
        {"whole file", "whole.kx", FILE_TYPE_KX, five, -1, 5, ""},
        {"limit before the cut", "limit.kx", FILE_TYPE_KX, five + KxRecords(1).substr(0, 30), 3, 3, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TableRef table(Load(dir.Write(c.name, c.bytes), c.type, c.maxRecords));
        ASSERT_NE(table.table, nullptr);
        EXPECT_EQ(table->RowCount(), c.rows);
        EXPECT_EQ(loader->Incomplete().toStdString(), c.reason);
    }
}

namespace {

// A document of n records with the given metadata sections and a view block
// showing TIME and TEXT.
std::string Document(int n, const std::string& filter, const std::string& bookmarks, const std::string& selections)
{
    std::string records;
    for (int k = 0; k < n; ++k) {
        std::string text = "rec " + std::to_string(k);
        RawRecord raw;
        raw.time = 1000 + uint64_t(k);
        raw.text = text.c_str();
        KxdProt prot = raw.Build();
        records.append(reinterpret_cast<const char*>(&prot), sizeof(prot));
    }
    PrefTabTable tab;
    tab.ClearColumns();
    tab.AddColumn(FIELD_TIME);
    tab.AddColumn(FIELD_TEXT);
    tab.Grid = 1;
    PrefKxTable kx = PlainPrefs();
    ZmLib::IniBase ini;
    PrefTable::Save(false, ini, tab, kx, nullptr, 0);
    ZmLib::TextBuf buffer;
    EXPECT_TRUE(ini.WriteToBuf(buffer));
    return Container({{"KXLVER", "1"},
                      {"TABLESIZE", std::to_string(n)},
                      {"TABLE", records},
                      {"FILTER", filter},
                      {"BOOKMARKS", bookmarks},
                      {"SELECTIONS", selections},
                      {"INI", buffer.Buffer->c_str()}});
}

// A slot without its block: two tables hold the same record when these
// bytes are equal. Text readers stamp STIME with the time of reading; with
// maskStime it and its text are left out.
std::vector<char> SlotImage(const KxdRecord& record, bool maskStime)
{
    KxdRecord copy;
    memcpy(static_cast<void*>(&copy), static_cast<const void*>(&record), sizeof(copy));
    char* image = reinterpret_cast<char*>(&copy);
    if (maskStime) {
        copy.prot.STIME = 0;
        char* stime = image + copy.textOff[FIELD_STIME];
        memset(stime, 0, strlen(stime));
    }
    copy.block = nullptr;
    return std::vector<char>(image, image + sizeof(copy));
}

void ExpectSameSlots(KxTable& a, KxTable& b, bool maskStime)
{
    ASSERT_EQ(a.RecordCount(), b.RecordCount());
    for (int32_t i = 0; i < a.RecordCount(); ++i)
        ASSERT_EQ(SlotImage(*a.GetRecordByOriginalIndex(i), maskStime),
                  SlotImage(*b.GetRecordByOriginalIndex(i), maskStime))
            << "record " << i;
    EXPECT_EQ(a.Prefs().Time0, b.Prefs().Time0);
    EXPECT_EQ(a.Tids().Count(), b.Tids().Count());
    EXPECT_EQ(a.AuxTree().Count(), b.AuxTree().Count());
}

// What the one-thread loop makes of the file that reader opens.
void LoadSequentially(KxReader& reader, KxTable& table, int32_t prot, int32_t maxRecords = -1)
{
    ASSERT_EQ(reader.Open(), 0);
    KxLoadOptions options;
    options.workers = 1;
    options.prot = prot;
    options.maxRecords = maxRecords;
    KxLoadRecords(reader, table, reader.GetFileSize(), options);
}

// Two traces of n records, the second starting earlier; in the kx form two
// bad records stand between them.
std::string RawTrace(KxFileGen::Form form, uint32_t records)
{
    KxFileGen::Options options;
    options.records = records;
    options.form = form;
    std::string bytes = KxFileGen::Generate(options);
    bytes += BadKxRecords(form == KxFileGen::Form::Kx ? 2 : 0);
    options.seed = 5;
    options.startTime -= 3000000;
    return bytes + KxFileGen::Generate(options);
}

} // namespace

// Every reader's records go through the load with worker threads: the table
// equals the one-thread loop's, slot for slot.
TEST_F(DocLoaderTest, LoadEqualsSequentialLoop)
{
    std::string csv, log;
    for (int k = 0; k < 12000; ++k) {
        const std::string n = std::to_string(k);
        csv += k % 997 == 5 ? "bad;line\n" : n + ",pc" + std::to_string(k % 13) + ";text " + n + "\n";
        log += k % 1009 == 7 ? "no match here\n"
                             : "Dec  7 11:" + std::to_string(10 + k % 40) + ":16 host" + std::to_string(k % 5) +
                                   " daemon.info proc" + std::to_string(k % 9) + "[1]: line " + n + "\n";
    }
    const ImportFormat csvFormat = MakeFormat("Csv", 0, {{"NUM1", 0, ";"}, {"HOST", 1, ";"}, {"TEXT", 2, ""}}, ";");
    const int32_t csvType = Add(csvFormat);
    const struct {
        const char* name;
        std::string bytes;
        int32_t type;
    } cases[] = {
        {"trace.kx", RawTrace(KxFileGen::Form::Kx, 15000), FILE_TYPE_KX},
        {"trace.kxd", RawTrace(KxFileGen::Form::Kxd, 15000), FILE_TYPE_KXD},
        {"lines.csv", csv, csvType},
        {"lines.log", log, 0},
        {"saved.kxl", Document(12000, "", "", ""), FILE_TYPE_KXL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.Write(c.name, c.bytes);
        TableRef loaded(Load(path, c.type));
        ASSERT_NE(loaded.table, nullptr);
        // A document's records are analysed with the preferences it holds.
        TableRef plain(new KxTable(path.c_str(), "plain", loader->KxPrefs()));
        std::unique_ptr<KxReader> reader;
        DocLoader::ImportFields fields;
        std::string expression;
        if (c.type == FILE_TYPE_KX) {
            reader = std::make_unique<FileKx>(path.c_str());
        } else if (c.type == FILE_TYPE_KXD) {
            reader = std::make_unique<FileKxd>(path.c_str());
        } else if (c.type == FILE_TYPE_KXL) {
            reader = std::make_unique<FileKxl>(path.c_str());
        } else if (c.type == csvType) {
            ASSERT_TRUE(DocLoader::BuildImportRegex(csvFormat, fields, expression));
            reader = std::make_unique<FileCsv>(path.c_str(), fields.count, fields.field, ';');
        } else {
            ASSERT_TRUE(DocLoader::BuildImportRegex(ImportFormats[0], fields, expression));
            auto templated = std::make_unique<Log2KxdMulti>(path.c_str());
            ASSERT_TRUE(
                templated->AddTemplate(expression.c_str(), fields.field, fields.count, ImportFormats[0].JavaException));
            reader = std::move(templated);
        }
        LoadSequentially(*reader, *plain, c.type == FILE_TYPE_KX ? 0 : -1);
        EXPECT_GT(plain->RecordCount(), 11000);
        ExpectSameSlots(*loaded, *plain, c.type >= 0);
    }
}

// Abort half-way through a large raw file: every record read until then is
// analysed, no slot is left unused, and the table equals the one-thread
// loop stopped after as many records. The display stands still from the
// Abort on: while the records on their way were finished, the loader used to
// ask it again, so that the bar moved once more and the window's events ran
// once more after the user's Abort.
TEST_F(DocLoaderTest, AbortMidLoadKeepsConsistentTable)
{
    KxFileGen::Options options;
    options.records = 100000;
    KxFileGen::Summary summary;
    const std::string path = dir.Path("large.kx");
    ASSERT_TRUE(KxFileGen::WriteTrace(path.c_str(), options, &summary));
    // Large enough for the progress dialog.
    ASSERT_GE(summary.bytes, 10000100u);
    // About a fifth of the file: several chunks of records in flight.
    shell.cancelAfter = 20;
    ChannelReports reports(KxvTearoffChannel);
    TableRef loaded(Load(path, FILE_TYPE_KX));
    ASSERT_NE(loaded.table, nullptr);
    EXPECT_EQ(shell.shown, 1);
    EXPECT_EQ(shell.updates, 20);
    EXPECT_EQ(ChannelReports::Count("TEAROFF Importing canceled by user"), 1);
    EXPECT_TRUE(shell.closed);
    const int32_t count = loaded->RecordCount();
    EXPECT_GT(count, 0);
    EXPECT_LT(count, int32_t(summary.records));
    EXPECT_EQ(loaded->RowCount(), count);
    FileKx reader(path.c_str());
    TableRef plain(new KxTable(path.c_str(), "plain", PrefKxTable::Default()));
    LoadSequentially(reader, *plain, 0, count);
    ExpectSameSlots(*loaded, *plain, false);
    for (int32_t i = 0; i < count; ++i)
        ASSERT_NE(loaded->GetRecordByOriginalIndex(i)->Text(FIELD_TIME)[0], 0) << i;
}

TEST_F(DocLoaderTest, DocumentReloadsWithMetadataAndViewBlock)
{
    const std::string path = dir.Write("doc.kxl", Document(5, U32s({0, 2, 3, 4}), U32s({1, 1}), U32s({1, 2, 2, 3})));
    TableRef table(Load(path, FILE_TYPE_KXL));
    ASSERT_NE(table.table, nullptr);
    EXPECT_EQ(table->RecordCount(), 5);
    EXPECT_TRUE(table->FilterOn);
    EXPECT_EQ(table->RowCount(), 4);
    EXPECT_NE(table->GetRecord(1)->bookmark, nullptr);
    EXPECT_EQ(Text(*table, 1, FIELD_TEXT), "rec 2");
    EXPECT_EQ(Ranges(*table), (RangeList{{2, 2, 3}}));
    EXPECT_EQ(loader->TabPrefs().columnCount, 2);
    EXPECT_EQ(loader->TabPrefs().columns[1], FIELD_TEXT);
    EXPECT_EQ(loader->TabPrefs().Grid, 1);
    EXPECT_EQ(loader->KxPrefs().formats[FIELD_TIME], int32_t(NUMFMT_INT));
    EXPECT_FALSE(table->Modified());
    EXPECT_EQ(shell.log.back(), "Document \"doc\" opened: 5 rows");
    EXPECT_FALSE(RecordingShell::Has(shell.log, "damaged"));
}

// ReadMetadata is false whenever a stored entry was not applied, and the
// loader then tells the user.
TEST_F(DocLoaderTest, SkippedMetadataIsReported)
{
    const struct {
        const char* what;
        std::string filter, bookmarks, selections;
        bool ok;
    } cases[] = {
        {"clean", "", U32s({2, 0, 3}), U32s({2, 0, 1, 1, 2, 2, 1}), true},
        {"hidden bookmark", U32s({0, 1}), U32s({1, 1, 1, 3}), "", true},
        {"repeated bookmark", "", U32s({2, 1, 1}), "", false},
        {"huge bookmark count", "", U32s({1000000, 1}), "", false},
        {"bookmark beyond the rows", "", U32s({2, 1, 9}), "", false},
        {"overlapping selections", "", "", U32s({2, 0, 3, 1, 2, 2, 2}), false},
        {"selection beyond the rows", "", "", U32s({1, 3, 10, 1}), false},
        {"empty selection range", "", "", U32s({1, 1, 0, 1}), false},
        {"stray selection bytes", "", "", U32s({1, 1, 1, 1}) + "x", false},
        {"bad filter", U32s({3, 1}), U32s({1, 0}), "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir.Write("m.kxl", Document(5, c.filter, c.bookmarks, c.selections));
        {
            FileKxl reader(path.c_str());
            ASSERT_EQ(reader.Open(), 0);
            TableRef table(new KxTable(path.c_str(), "m", PlainPrefs()));
            ZmLib::KxdProt prot;
            reader.SetRecord(&prot);
            for (int k = 0; k < 5; ++k) {
                reader.ReadRecord();
                table->AppendRecord(prot);
            }
            EXPECT_EQ(reader.ReadMetadata(*table), c.ok);
        }
        shell.log.clear();
        TableRef table(Load(path, FILE_TYPE_KXL));
        ASSERT_NE(table.table, nullptr);
        EXPECT_EQ(RecordingShell::Has(shell.log, "Document \"m\": part of its filter, bookmarks or selections was "
                                                 "damaged and has been skipped"),
                  !c.ok);
        EXPECT_EQ(table->RecordCount(), 5);
    }
}

// A path beyond 1099 characters is named, cut visibly, never as "".
TEST_F(DocLoaderTest, TooLongPathIsNamed)
{
    const std::string longPath = dir.Dir() + "/" + std::string(1200, 'p') + ".kxl";
    Reports reports;
    EXPECT_EQ(Load(longPath, FILE_TYPE_KXL), nullptr);
    ASSERT_FALSE(shell.info.empty());
    const std::string& message = shell.info.back();
    EXPECT_NE(message.find("File path too long, at most 1099 characters: \"" + longPath.substr(0, 60) + "..."),
              std::string::npos)
        << message;
    EXPECT_NE(message.find(" (" + std::to_string(longPath.size()) + " characters)"), std::string::npos);
    EXPECT_FALSE(Reports::HasPart("About to open \"\""));

    FileKxl reader(longPath.c_str());
    EXPECT_EQ(reader.Open(), 6);
    EXPECT_TRUE(Reports::HasPart("Path too long, at most 1099 characters: \"" + longPath.substr(0, 60) + "..."));
    EXPECT_FALSE(Reports::HasPart("About to open KXL file \"\""));
    EXPECT_EQ(DocLoader::LoadKxFileSilent(longPath.c_str(), true), nullptr);
}

// A file that can no longer be read ends the load instead of failing on
// every later attempt; one that cannot be read at all gives no document.
TEST_F(DocLoaderTest, ReadFailureEndsTheLoad)
{
    // The records start behind three section headers, "1" and "100". The
    // document is large enough that the reader's buffer does not hold the
    // records that are cut away.
    const off_t tableData = 3 * ZmLib::SD_HEADER_SIZE + 4;
    const std::string path = dir.Write("cut.kxl", Document(100, "", "", ""));
    shell.onProgress = [&] { ASSERT_EQ(truncate(path.c_str(), tableData + 20 * off_t(KxdProt::SIZE)), 0); };
    Reports reports;
    TableRef table(Load(path, FILE_TYPE_KXL));
    EXPECT_TRUE(Reports::Has("Record #20: File IO Error)"));
    ASSERT_NE(table.table, nullptr);
    EXPECT_EQ(table->RowCount(), 20);
    EXPECT_EQ(loader->Incomplete(), "file ends inside record #21");
    shell.onProgress = nullptr;

    // Reading the memory file of a process at offset 0 fails at once.
    const int32_t f = Add(MakeFormat("Any", 1, {{"TEXT", 0, "(.*)"}}));
    KxTable* none = Load("/proc/self/mem", f);
    if (RecordingShell::Has(shell.info, "Error opening file"))
        GTEST_SKIP() << "/proc/self/mem cannot be opened here";
    EXPECT_EQ(none, nullptr);
    EXPECT_TRUE(RecordingShell::Has(shell.info, "Too many errors while reading /proc/self/mem"));
}

// Each says why: what is wrong with a document file, or the system's reason
// a file cannot be read, in the machine's language.
TEST_F(DocLoaderTest, OpenFailureIsReported)
{
    dir.Write("broken.kxl", "no document");
    dir.Write("empty.kxl", "");
    ASSERT_EQ(mkdir(dir.Path("folder.kx").c_str(), 0700), 0);
    // Not even root may read it.
    const char* const denied = "/proc/sys/vm/drop_caches";
    const bool deniedHere = access(denied, F_OK) == 0 && access(denied, R_OK) != 0;
    ASSERT_EQ(symlink(denied, dir.Path("denied.kx").c_str()), 0);
    ASSERT_EQ(symlink(denied, dir.Path("denied.log").c_str()), 0);
    ASSERT_EQ(symlink("/proc/self/status", dir.Path("status.kxl").c_str()), 0);
    const int32_t log = Add(MakeFormat("Any", 1, {{"TEXT", 0, "(.*)"}}));
    const struct {
        const char* name;
        int32_t type;
        std::string why;
    } cases[] = {
        {"missing.kx", FILE_TYPE_KX, strerror(ENOENT)},
        {"folder.kx", FILE_TYPE_KX, strerror(EISDIR)},
        {"broken.kxl", FILE_TYPE_KXL, "not a KXL file"},
        {"empty.kxl", FILE_TYPE_KXL, "the file is empty"},
        // It says it is empty, but is not.
        {"status.kxl", FILE_TYPE_KXL, "not a KXL file"},
        {"denied.kx", FILE_TYPE_KX, strerror(EACCES)},
        {"denied.log", log, strerror(EACCES)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.why == strerror(EACCES) && !deniedHere)
            continue;
        const std::string path = dir.Path(c.name);
        EXPECT_EQ(Load(path, c.type), nullptr);
        const std::string text = "Error opening file \"" + path + "\": " + c.why;
        EXPECT_EQ(shell.info.back(), text);
        EXPECT_EQ(shell.log.back(), text);
    }
}

// What is not a regular file is refused at once, saying what it is, by
// every reader: nothing of it is imported, and a FIFO without a writer does
// not hold the load (the guard frees a load that waits, and tells).
TEST_F(DocLoaderTest, WhatIsNoRegularFileIsRefusedAtOnce)
{
    const int32_t log = Add(MakeFormat("Any", 1, {{"TEXT", 0, "(.*)"}}));
    std::string lines;
    for (int i = 0; i < 120; ++i)
        lines += "line " + std::to_string(i) + "\n";
    const bool socketMade = kxtest::MakeSocket(dir.Path("socket.log"));
    const struct {
        std::string path;
        int32_t type;
        const char* kind;
        const char* fed; // a writer holding the FIFO open with these lines
    } cases[] = {
        {dir.Path("waiting.log"), log, "a pipe", nullptr},
        {dir.Path("fed.log"), log, "a pipe", "lines"},
        {dir.Path("waiting.kx"), FILE_TYPE_KX, "a pipe", nullptr},
        {dir.Path("fed.kxd"), FILE_TYPE_KXD, "a pipe", "lines"},
        {dir.Path("waiting.kxl"), FILE_TYPE_KXL, "a pipe", nullptr},
        {"/dev/null", log, "a character device", nullptr},
        {"/dev/null", FILE_TYPE_KXL, "a character device", nullptr},
        {dir.Path("socket.log"), log, "a socket", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        if (std::string(c.kind) == "a socket" && !socketMade)
            continue;
        std::unique_ptr<kxtest::Fifo> fifo;
        if (std::string(c.kind) == "a pipe") {
            fifo = std::make_unique<kxtest::Fifo>(c.path, c.fed ? lines : std::string());
            ASSERT_TRUE(fifo->Made());
        }
        bool waited = false;
        KxTable* table = nullptr;
        {
            std::unique_ptr<kxtest::FifoGuard> guard;
            if (fifo)
                guard = std::make_unique<kxtest::FifoGuard>(*fifo, std::chrono::seconds(3));
            table = Load(c.path, c.type);
            waited = guard && guard->Waited();
        }
        EXPECT_FALSE(waited);
        EXPECT_EQ(table, nullptr);
        if (table)
            table->Release();
        const std::string text = "Error opening file \"" + c.path + "\": " + c.path + " is " + c.kind +
                                 ", not a regular file: save it to a file first";
        EXPECT_EQ(shell.info.empty() ? "" : shell.info.back(), text);
        EXPECT_EQ(shell.log.empty() ? "" : shell.log.back(), text);
    }
}

// Until the main window installs its own, the services only write records
// and never block or show anything.
TEST(ShellServices, DefaultsWriteRecords)
{
    KxvShellServices* installed = KxvSetShell(nullptr);
    {
        ChannelReports tearoff(KxvTearoffChannel);
        ChannelReports syslog(KxvSyslogChannel);
        KxvShellServices& shell = KxvShell();
        shell.AddToSystemLog("entry 100%", KxvShellServices::LOG_ICON_ARROW);
        shell.ShowStatus("Loading file: /x", false);
        EXPECT_EQ(shell.Information("Too many errors", true), int(QMessageBox::Ok));
        EXPECT_TRUE(shell.Ask("Open it anyway?"));
        shell.ProcessEvents();
        EXPECT_EQ(shell.MainWidget(), nullptr);
        EXPECT_EQ(ChannelReports::All(), (std::vector<std::string>{"SYSLOG entry 100%", "SYSLOG status: Loading file: /x",
                                                                   "TEAROFF Information: Too many errors",
                                                                   "TEAROFF Question: Open it anyway?"}));
        std::unique_ptr<KxvProgress> progress = shell.CreateProgress("Opening file x", "Abort", 0, 100);
        progress->Show();
        EXPECT_FALSE(progress->IsVisible());
        EXPECT_FALSE(progress->WasCanceled());
        progress->Cancel();
        EXPECT_TRUE(progress->WasCanceled());
    }
    RecordingShell recording;
    EXPECT_EQ(&KxvShell(), &recording);
    KxvSetShell(installed);
}

// The memory a load needs: the records of the part read stand for the whole
// file, one slot each; the question only when that is more than is left.
TEST(LoadMemory, EstimateAndQuestion)
{
    const int64_t slot = int64_t(sizeof(KxdRecord));
    const struct {
        int64_t records, consumed, size, needed;
    } cases[] = {
        {0, 0, 1000, 0},
        {10, 0, 1000, 0},
        {1000, 100000, 100000, 1000 * slot},
        {1000, 100000, 1000000, 10000 * slot},
        // 3 records in 1,000 bytes of 1,001: rounded up to a fourth slot.
        {3, 1000, 1001, 4 * slot},
        // 1.43 GiB of 150-byte lines.
        {1748, int64_t(262144), int64_t(1535450808), int64_t(10238526) * slot},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LoadMemory::Needed(c.records, c.consumed, c.size), c.needed) << c.records << " " << c.size;

    const struct {
        int64_t bytes;
        const char* text;
    } sizes[] = {{0, "0 bytes"},         {1023, "1023 bytes"},     {1024, "1.0 KB"},
                 {512 << 10, "512 KB"},  {int64_t(9.7 * (1 << 30)), "9.7 GB"}, {int64_t(3) << 40, "3.0 TB"},
                 {int64_t(5000) << 40, "5000 TB"}};
    for (const auto& c : sizes)
        EXPECT_EQ(LoadMemory::Size(c.bytes), c.text);

    EXPECT_EQ(LoadMemory::Shortage("big.log", int64_t(10) << 30, int64_t(4) << 30),
              "Opening file \"big.log\" needs about 10 GB of memory, but only 4.0 GB is available.\nOpen it anyway?");
    EXPECT_EQ(LoadMemory::Shortage("big.log", int64_t(4) << 30, int64_t(4) << 30), "");
    EXPECT_EQ(LoadMemory::Shortage("big.log", int64_t(10) << 30, -1), "");

    // The system's own figure, and the seam in its place.
    EXPECT_GT(LoadMemory::Available(), 0);
    LoadMemory::SetAvailableSource([] { return int64_t(12345); });
    EXPECT_EQ(LoadMemory::Available(), 12345);
    LoadMemory::SetAvailableSource(nullptr);
    EXPECT_GT(LoadMemory::Available(), 12345);
}
