#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include "kxlib/table/kxtable.h"
#include "kxviewer/docloader.h"
#include "kxviewer/formatcandidates.h"
#include "kxviewer/graph/graphmodel.h"
#include "kxviewer/kxvglobals.h"
#include "kxviewer/loadformatsdialog.h"
#include "kxviewer/prefdata.h"
#include "tests/kxlib/table_fixtures.h"
#include "tests/kxviewer/shellrecorder.h"
#include "tests/tearoffwidget/scriptedprompt.h"
#include "tests/utils/osal/specialfiles.h"
#include "utils/common/convert.h"

namespace {

ImportFormat Format(const std::string& name, int32_t visual, const std::string& extension = "*.log", int fields = 1)
{
    ImportFormat format;
    format.name = name;
    format.extension = extension;
    format.visual = visual;
    format.delimiter = ";";
    for (int f = 0; f < fields; ++f)
        format.fields.push_back({f == 0 ? "TEXT" : "HOST", f, "(.*)"});
    format.ComposeExpression();
    return format;
}

// P with its sub-templates 'P #1' .. 'P #subs'.
ImportFormatList Family(const std::string& name, int32_t visual, int subs, const std::string& extension = "*.log")
{
    ImportFormatList family{Format(name, visual, extension)};
    for (int n = 1; n <= subs; ++n)
        family.push_back(Format(name + " #" + std::to_string(n), 0, extension));
    return family;
}

ImportFormatList Join(std::vector<ImportFormatList> parts)
{
    ImportFormatList list;
    for (const ImportFormatList& part : parts)
        list.insert(list.end(), part.begin(), part.end());
    return list;
}

std::vector<std::string> Names(const ImportFormatList& list)
{
    std::vector<std::string> names;
    for (const ImportFormat& format : list)
        names.push_back(format.name + "/" + std::to_string(format.visual) + "/" + format.extension);
    return names;
}

// count sections of the file, section n as body(n) gives it.
std::string Sections(int count, const std::function<std::string(int)>& body)
{
    std::string text;
    for (int n = 0; n < count; ++n)
        text += body(n);
    return text;
}

// Answers the file question with a path and runs the selection dialog
// through the test's own steps instead of a modal loop.
class DrivenPrompt : public ScriptedPrompt {
public:
    QString OpenFileName(QWidget*, const QString&, const QString&, const QString&) override { return path; }
    int Exec(QDialog* dialog) override
    {
        dialog->show();
        auto* table = dialog->findChild<QTableWidget*>("ImportTable");
        for (int row = 0; row < table->rowCount(); ++row)
            rows.push_back(table->item(row, 0)->text().toStdString() +
                           ((table->item(row, 0)->flags() & Qt::ItemIsUserCheckable) ? " [x]" : " [ ]"));
        importEnabled = dialog->findChild<QPushButton*>("ImportButton")->isEnabled();
        if (drive)
            drive(dialog, table);
        dialog->hide();
        return dialog->result();
    }

    QString path;
    std::function<void(QDialog*, QTableWidget*)> drive;
    std::vector<std::string> rows;
    bool importEnabled = false;
};

void Click(QDialog* dialog, const char* name) { QTest::mouseClick(dialog->findChild<QWidget*>(name), Qt::LeftButton); }

// Space on the row toggles its check box, as a user does with the keyboard.
void Toggle(QTableWidget* table, int row)
{
    table->setFocus();
    table->setCurrentCell(row, 0);
    QTest::keyClick(table, Qt::Key_Space);
}

class LoadFormatsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = ImportFormats;
        ImportFormats = Join({DefaultImportTemplates(), Family("P", 2, 2), {Format("Q", 3)}});
        prompt_.path = dir_.filePath("other.ini");
    }
    void TearDown() override { ImportFormats = saved_; }
    void WriteList(const ImportFormatList& list)
    {
        ZmLib::IniFile file;
        file.Open(QFile::encodeName(prompt_.path).constData(), nullptr, nullptr, true);
        // Another installation's file: its built-in head first.
        PrefGlobal::SaveFormats(file.Ini, Join({DefaultImportTemplates(), list}));
        ASSERT_TRUE(file.Flush());
    }
    void WriteText(const std::string& text)
    {
        QFile file(prompt_.path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(text.data(), qint64(text.size())), qint64(text.size()));
    }

    ImportFormatList saved_;
    QWidget editor_;
    QTemporaryDir dir_;
    DrivenPrompt prompt_;
    PromptGuard guard_{&prompt_};
    kxtest::ShellRecorder shell_;
};

TEST_F(LoadFormatsTest, RowsAndTakenFormatsFollowTheFile)
{
    // after: empty when the list stays as it was.
    struct Case { const char* what; ImportFormatList file; std::function<void(QDialog*, QTableWidget*)> drive;
        std::vector<std::string> rows, after; bool changed; };
    // The list's own P family and Q stay, then the one format added.
    const auto kept = [](const char* added) -> std::vector<std::string> {
        return {"SysLog/1/log", "P/2/*.log", "P #1/0/*.log", "P #2/0/*.log", "Q/3/*.log", added};
    };
    const auto import = [](QDialog* d, QTableWidget*) { Click(d, "ImportButton"); };
    const auto uncheckFirst = [](QDialog* d, QTableWidget* t) { Toggle(t, 0), Click(d, "ImportButton"); };
    const auto cancel = [](QDialog* d, QTableWidget*) { Click(d, "CancelButton"); };
    const std::vector<Case> cases = {
        {"own file", Join({Family("P", 1, 2), {Format("Q", 2)}}), import, {"P (2 subs) [ ]", "Q [ ]"}, {}, false},
        {"built-in refused", {Format("SysLog", 1, "*.sys")}, import, {"SysLog [ ]"}, {}, false},
        {"P + 2 subs replaced by P + 3 in P's place", Family("P", 1, 3, "*.p"), import, {"P (3 subs) [x]"},
         {"SysLog/1/log", "P/2/*.p", "P #1/0/*.p", "P #2/0/*.p", "P #3/0/*.p", "Q/3/*.log"}, true},
        {"unchecked row", {Format("R", 1), Format("S", 2)}, uncheckFirst, {"R [x]", "S [x]"}, kept("S/4/*.log"), true},
        {"cancel", {Format("Q", 1, "*.q")}, cancel, {"Q [x]"}, {}, false},
        {"family over the limit refused", Family("F", 1, 8), import, {"F (8 subs) [ ]"}, {}, false},
        {"sub-template repeated", Join({Family("D", 1, 1), {Format("D #1", 0)}}), import, {"D (2 subs) [ ]"}, {}, false},
        {"more fields than record fields refused", {Format("W", 1, "*.w", 26)}, import, {"W [ ]"}, {}, false},
        {"as many fields as record fields taken", {Format("W", 1, "*.w", 25)}, import, {"W [x]"}, kept("W/4/*.w"),
         true},
        {"name repeated in the file", {Format("R", 1), Format("R", 2, "*.r")}, import, {"R [x]", "R [ ]"},
         kept("R/4/*.log"), true},
        {"every row unchecked: only marked modified", {Format("R", 1)}, uncheckFirst, {"R [x]"}, {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImportFormats = Join({DefaultImportTemplates(), Family("P", 2, 2), {Format("Q", 3)}});
        const std::vector<std::string> before = Names(ImportFormats);
        ImportFormatsModified = false;
        WriteList(c.file);
        prompt_.rows.clear();
        prompt_.drive = c.drive;
        const bool changed = LoadFormatsFromFile(&editor_);
        EXPECT_EQ(prompt_.rows, c.rows);
        EXPECT_EQ(Names(ImportFormats), c.after.empty() ? before : c.after);
        const auto checked = [](const std::string& row) { return row.substr(row.size() - 3) == "[x]"; };
        EXPECT_EQ(prompt_.importEnabled, std::any_of(c.rows.begin(), c.rows.end(), checked));
        EXPECT_EQ(changed, c.changed);
        EXPECT_EQ(ImportFormatsModified, c.changed);
    }
    EXPECT_EQ(QDir::currentPath(), QDir(dir_.path()).canonicalPath());
}

// A family taken from a file is the family the file gave: a sub-template
// left in the list from an earlier family of that name does not join it, and
// offering the same file again finds it Equal.
TEST(FormatCandidates, TakenFamilyAdoptsNoLeftoverSubTemplate)
{
    struct Case { const char* what; ImportFormatList present, read; std::vector<std::string> after; };
    const Case cases[] = {
        {"a leftover sub-template of a new family goes", {Format("R #1", 0, "*.old")}, {Format("R", 1)},
         {"R/1/*.log"}},
        {"leftovers beyond the file's sub-templates go", {Format("R #1", 0, "*.old"), Format("R #2", 0, "*.old")},
         Family("R", 1, 1), {"R/1/*.log", "R #1/0/*.log"}},
        {"another family's leftover stays", {Format("S #1", 0, "*.old")}, {Format("R", 1)},
         {"S #1/0/*.old", "R/1/*.log"}},
        {"a replaced family's sub-templates go with it", Family("R", 1, 2, "*.old"), {Format("R", 1)},
         {"R/1/*.log"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImportFormatList present = c.present;
        const std::vector<FormatCandidate> offered = BuildFormatCandidates(present, 0, c.read);
        TakeFormatCandidates(present, c.read, offered, std::vector<bool>(offered.size(), true));
        EXPECT_EQ(Names(present), c.after);
        for (const FormatCandidate& again : BuildFormatCandidates(present, 0, c.read))
            EXPECT_EQ(again.state, CandidateState::Equal) << c.read[size_t(again.index)].name;
    }
}

TEST_F(LoadFormatsTest, AllNoneGivesBackTheRowsOwnStates)
{
    WriteList({Format("R", 1), Format("S", 2), Format("T", 3)});
    std::vector<std::vector<bool>> seen;
    prompt_.drive = [&](QDialog* d, QTableWidget* t) {
        auto* all = d->findChild<QCheckBox*>("AllNone");
        const auto look = [&] {
            std::vector<bool> row;
            for (int r = 0; r < t->rowCount(); ++r)
                row.push_back(t->item(r, 0)->checkState() == Qt::Checked);
            row.push_back(all->checkState() == Qt::PartiallyChecked);
            seen.push_back(row);
        };
        Toggle(t, 1); // partially checked
        look();
        // Checked, unchecked, then partially checked again: the rows' own states.
        for (int click = 0; click < 3; ++click) {
            Click(d, "AllNone");
            look();
        }
        Click(d, "CancelButton");
    };
    LoadFormatsFromFile(nullptr);
    const std::vector<std::vector<bool>> expected = {
        {true, false, true, true}, {true, true, true, false}, {false, false, false, false}, {true, false, true, true}};
    EXPECT_EQ(seen, expected);
}

// Whatever the file holds: its candidates or "No formats to import", and no
// change (not even to the modified mark) before "Import".
TEST_F(LoadFormatsTest, BadFilesChangeNothing)
{
    struct Case { const char* what; std::string text; size_t rows; }; // rows 0: "No formats to import"
    std::string binary(4096, '\0');
    for (size_t i = 0; i < binary.size(); ++i)
        binary[i] = char(i * 37 % 256);
    const std::string fields = "[Format0]\nName=\"Wide\"\n" + Sections(40, [](int f) {
        return "K" + std::to_string(f) + "=" + std::to_string(f) + ",\"(x\n";
    });
    const std::vector<Case> cases = {
        {"empty", "", 0},
        {"binary", binary, 0},
        {"10,000 other sections",
         Sections(10000, [](int n) { return "[Section" + std::to_string(n) + "]\nName=\"N\"\nExtension=*\n"; }), 0},
        {"10,000 formats", Sections(10000, [](int n) {
             return "[Format" + std::to_string(n) + "]\nName=\"N" + std::to_string(n) + "\"\nTEXT=0,\"(.*)\"\n";
         }), 10000},
        {"stray quotes", "[Format0]\nName=\"\nName2=\"a\"b\"\n[Format1]\nName=\"q\"\"\nDelimiter=\"\n", 2},
        {"family of 12", Sections(13, [](int n) {
             return "[Format" + std::to_string(n) + "]\nName=\"F" + (n ? " #" + std::to_string(n) : "") + "\"\n";
         }), 1},
        {"40 fields", fields, 1},
        {"only a sub-template", "[Format0]\nName=\"X #1\"\n", 0},
    };
    const ImportFormatList before = ImportFormats;
    prompt_.drive = [](QDialog* d, QTableWidget*) { Click(d, "CancelButton"); };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteText(c.text);
        ImportFormatsModified = true;
        shell_.Clear();
        prompt_.rows.clear();
        EXPECT_FALSE(LoadFormatsFromFile(nullptr));
        EXPECT_EQ(prompt_.rows.size(), c.rows);
        EXPECT_EQ(shell_.info, c.rows ? std::vector<std::string>{} : std::vector<std::string>{"No formats to import"});
        EXPECT_TRUE(ImportFormats == before);
        EXPECT_TRUE(ImportFormatsModified);
        QFile file(prompt_.path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_TRUE(file.readAll().toStdString() == c.text); // only read
    }
    // A FIFO is not waited on, and is told for what it is.
    const QString fifoPath = dir_.filePath("fifo.ini");
    kxtest::Fifo fifo(QFile::encodeName(fifoPath).toStdString());
    ASSERT_TRUE(fifo.Made());
    const struct { QString path; std::string told; } unread[] = {
        {dir_.path(), "No formats to import"},
        {dir_.filePath("missing.ini"), "No formats to import"},
        {fifoPath, fifoPath.toStdString() + " is a pipe, not a regular file: save it to a file first"},
    };
    for (const auto& c : unread) {
        SCOPED_TRACE(c.path.toStdString());
        prompt_.path = c.path;
        shell_.Clear();
        kxtest::FifoGuard guard(fifo, std::chrono::seconds(3));
        EXPECT_FALSE(LoadFormatsFromFile(nullptr));
        EXPECT_FALSE(guard.Waited());
        EXPECT_EQ(shell_.info, std::vector<std::string>{c.told});
        EXPECT_TRUE(ImportFormats == before);
    }
}

// The example formats shipped with the sources are taken through "Load
// Formats" and then import their sample files: every line matched, each
// field as written in the line; the help page makes the same pieces.
TEST_F(LoadFormatsTest, ExampleFormatsImportTheirSamples)
{
    prompt_.path = QStringLiteral(KXV_EXAMPLES_DIR "/KxFormats-examples.ini");
    prompt_.drive = [](QDialog* d, QTableWidget*) { Click(d, "ImportButton"); };
    ASSERT_TRUE(LoadFormatsFromFile(&editor_));
    EXPECT_EQ(prompt_.rows, (std::vector<std::string>{"Debian syslog [x]", "RFC 3339 syslog [x]",
                                                      "CSV with time text (1 subs) [x]"}));
    // time: the text the TIME field is read from ("" for none); pid "0": none.
    // A row without a program shows its PID as the program.
    struct Row { const char* time; const char* host; const char* program; const char* pid; const char* text; };
    struct Case { const char* format; const char* sample; std::vector<Row> rows; };
    const std::vector<Case> cases = {
        {"Debian syslog",
         "Dec  7 08:00:00 web1 nginx[812]: GET /index.html 200\n"
         "Dec 17 08:00:01 db-1.lan kernel: [ 12.345] eth0: link up\r\n"
         "Dec  7 08:00:02 web1 CRON[1203]: (root) CMD (run-parts /etc/cron.hourly)\n"
         "Dec  7 08:00:03 web1 systemd[1]:\n",
         {{"Dec  7 08:00:00", "web1", "nginx", "812", "GET /index.html 200"},
          {"Dec 17 08:00:01", "db-1.lan", "kernel", "0", "[ 12.345] eth0: link up"},
          {"Dec  7 08:00:02", "web1", "CRON", "1203", "(root) CMD (run-parts /etc/cron.hourly)"},
          {"Dec  7 08:00:03", "web1", "systemd", "1", ""}}},
        // The zone offset is not applied: the time reads as written.
        {"RFC 3339 syslog",
         "2024-12-07T08:00:00.237123+01:00 web1 nginx[812]: GET /index.html 200\n"
         "2024-12-07T08:00:01Z db1 kernel: eth0: link up\n"
         "2024-12-07T08:00:02.5-05:00 web1 sshd[901]: Accepted publickey for admin\n",
         {{"2024-12-07 08:00:00.237123", "web1", "nginx", "812", "GET /index.html 200"},
          {"2024-12-07 08:00:01", "db1", "kernel", "0", "eth0: link up"},
          {"2024-12-07 08:00:02.5", "web1", "sshd", "901", "Accepted publickey for admin"}}},
        {"CSV with time text",
         "time,host,program,pid,level,text\n"
         "2024-12-07 08:00:00.237,web1,nginx,812,info,GET /index.html 200\n"
         "2024-12-07 08:00:01,db1,postgres,77,error,\"could not connect, retrying\"\n"
         "2024-12-07T08:00:02,web1,cron,,warning,job late\n",
         {{"", "", "0", "0", "time,host,program,pid,level,text"},
          {"2024-12-07 08:00:00.237", "web1", "nginx", "812", "GET /index.html 200"},
          {"2024-12-07 08:00:01", "db1", "postgres", "77", "could not connect, retrying"},
          {"2024-12-07 08:00:02", "web1", "cron", "0", "job late"}}},
    };
    // The help page gives every piece of the example formats, the first
    // format's step by step with its field.
    QFile help(QStringLiteral(KXV_DOC_DIR "/importformats.html"));
    ASSERT_TRUE(help.open(QIODevice::ReadOnly));
    const QString page = QString::fromUtf8(help.readAll());
    for (const ImportFormat& format : ImportFormats) {
        const bool example = std::any_of(cases.begin(), cases.end(),
                                         [&format](const Case& c) { return format.name.rfind(c.format, 0) == 0; });
        if (!example)
            continue;
        for (const ImportFormatField& field : format.fields) {
            const QString piece = "<code>" +
                                  QString::fromStdString(field.expression).toHtmlEscaped().replace("&quot;", "\"") +
                                  "</code>";
            EXPECT_TRUE(page.contains(piece)) << field.expression;
            if (format.name == "Debian syslog") {
                EXPECT_TRUE(page.contains("<td>" + QString::fromStdString(field.key) + "</td><td>" + piece))
                    << field.key;
            }
        }
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        const auto named = std::find_if(ImportFormats.begin(), ImportFormats.end(),
                                        [&c](const ImportFormat& f) { return f.name == c.format; });
        ASSERT_NE(named, ImportFormats.end());
        const QString path = dir_.filePath("sample.txt");
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(c.sample), qint64(strlen(c.sample)));
        file.close();
        shell_.Clear();
        DocLoader loader(QFileInfo(path), int32_t(named - ImportFormats.begin()));
        TableRef table(loader.Load(-1));
        ASSERT_NE(table.table, nullptr);
        ASSERT_EQ(table->RowCount(), int32_t(c.rows.size()));
        for (const std::string& line : shell_.log)
            EXPECT_EQ(line.find("matched no template"), std::string::npos) << line;
        // Imported times are kept relative to the document's time base.
        const int64_t base = int64_t(table->Prefs().Time0);
        for (int32_t r = 0; r < table->RowCount(); ++r) {
            SCOPED_TRACE(r);
            const Row& row = c.rows[size_t(r)];
            const KxdRecord* record = table->GetRecord(r);
            // A row without a time (a header) keeps absolute time 0 and
            // shows the start of the document.
            const int64_t time = (*row.time ? ZmLib::Str2Time(row.time) : 0) - base;
            EXPECT_EQ(int64_t(record->prot.msg.TIME), time);
            if (!*row.time) {
                EXPECT_STREQ(record->Text(FIELD_TIME), "0:00:00.000000");
            }
            EXPECT_STREQ(record->Text(FIELD_HOST), row.host);
            EXPECT_STREQ(record->Text(FIELD_PNAME), row.program);
            EXPECT_STREQ(record->Text(FIELD_PID), row.pid);
            EXPECT_STREQ(record->Text(FIELD_TEXT), row.text);
        }
    }
}

// A header line gets no time: the document's time, its relative times and
// the graph's range start at the first line that has one.
TEST_F(LoadFormatsTest, AHeaderLineLeavesTheTimeToTheFirstTimedLine)
{
    prompt_.path = QStringLiteral(KXV_EXAMPLES_DIR "/KxFormats-examples.ini");
    prompt_.drive = [](QDialog* d, QTableWidget*) { Click(d, "ImportButton"); };
    ASSERT_TRUE(LoadFormatsFromFile(&editor_));
    const auto format = std::find_if(ImportFormats.begin(), ImportFormats.end(),
                                     [](const ImportFormat& f) { return f.name == "CSV with time text"; });
    ASSERT_NE(format, ImportFormats.end());
    const char sample[] = "time,host,program,pid,level,text\n"
                          "2024-12-07 08:00:00.237,web1,nginx,812,info,GET /index.html 200\n"
                          "a line of no format\n"
                          "2024-12-07 08:00:02,web1,cron,,warning,job late\n";
    const QString path = dir_.filePath("header.csv");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(sample), qint64(strlen(sample)));
    file.close();
    const int64_t first = ZmLib::Str2Time("2024-12-07 08:00:00.237");
    const int64_t last = ZmLib::Str2Time("2024-12-07 08:00:02");
    for (bool normalised : {true, false}) {
        SCOPED_TRACE(normalised);
        DocLoader loader(QFileInfo(path), int32_t(format - ImportFormats.begin()));
        loader.KxPrefs().NormalizeTime = normalised;
        TableRef table(loader.Load(-1));
        ASSERT_NE(table.table, nullptr);
        ASSERT_EQ(table->RowCount(), 4);
        EXPECT_EQ(int64_t(table->Prefs().Time0), first);
        EXPECT_EQ(table->Prefs().Time0Index, normalised ? 1 : -1);
        const int64_t base = normalised ? first : 0;
        // The header and the unmatched line keep no time; a relative table
        // shows them at its start, before and after its first time alike.
        const int64_t times[] = {0 - base, first - base, 0 - base, last - base};
        for (int32_t r = 0; r < 4; ++r)
            EXPECT_EQ(int64_t(table->GetRecord(r)->prot.msg.TIME), times[r]) << r;
        if (normalised) {
            const char* const shown[] = {"0:00:00.000000", "0:00:00.000000", "0:00:00.000000", "0:00:01.763000"};
            for (int32_t r = 0; r < 4; ++r)
                EXPECT_STREQ(table->GetRecord(r)->Text(FIELD_TIME), shown[r]) << r;
            // Relative time off and on again on the first timed line.
            table->NormalizeTimeOff();
            ASSERT_TRUE(table->NormalizeTimeOn(1));
            for (int32_t r = 0; r < 4; ++r)
                EXPECT_STREQ(table->GetRecord(r)->Text(FIELD_TIME), shown[r]) << r;
        }
        GraphModel graph;
        ASSERT_TRUE(graph.Build(*table, nullptr, nullptr));
        EXPECT_EQ(graph.TimeRange().min, first - base);
        EXPECT_EQ(graph.TimeRange().max, last - base);
    }
}

} // namespace
