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

#include "kxviewer/formatcandidates.h"
#include "kxviewer/kxvglobals.h"
#include "kxviewer/loadformatsdialog.h"
#include "kxviewer/prefdata.h"
#include "tests/kxviewer/shellrecorder.h"
#include "tests/tearoffwidget/scriptedprompt.h"

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
    for (const QString& path : {dir_.path(), dir_.filePath("missing.ini")}) {
        SCOPED_TRACE(path.toStdString());
        prompt_.path = path;
        shell_.Clear();
        EXPECT_FALSE(LoadFormatsFromFile(nullptr));
        EXPECT_EQ(shell_.info, std::vector<std::string>{"No formats to import"});
        EXPECT_TRUE(ImportFormats == before);
    }
}

} // namespace
