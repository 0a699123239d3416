// The import-format editor as the user drives it through the main window:
// the format tree's operations saved and read back, field rows, the
// delimiter, leaving with and without saving, the road of a file that no
// format claims, and Try Test File.
#include <algorithm>

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

#include "kxlib/table/kxtable.h"
#include "kxviewer/actiontable.h"
#include "kxviewer/importdialog.h"
#include "kxviewer/reglineedit.h"
#include "openfixture.h"

using namespace shelltest;

namespace {

ImportFormat Format(const std::string& name, int32_t visual, const std::string& expression)
{
    ImportFormat format;
    format.name = name;
    format.extension = "*." + name.substr(0, 1);
    format.visual = visual;
    format.mode = IMPORT_MODE_REGEX;
    format.fields = {{"TEXT", 0, expression}};
    format.ComposeExpression();
    return format;
}

// "name=visual expression-of-the-first-field" per format, in list order.
std::vector<std::string> Rows(const ImportFormatList& list)
{
    std::vector<std::string> rows;
    for (const ImportFormat& f : list)
        rows.push_back(f.name + "=" + std::to_string(f.visual) + " " +
                       (f.fields.empty() ? std::string("-") : f.fields[0].expression));
    return rows;
}

QString ReadAll(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QString::fromLatin1(file.readAll());
}

} // namespace

class ImportEditor : public OpenTest {
protected:
    void SetUp() override
    {
        OpenTest::SetUp();
        formatsDir = QFile::encodeName(dir.path()).toStdString();
        PrefGlobal::IniFormats.Open(formatsDir.c_str(), "KxFormats", "ini");
    }
    void TearDown() override
    {
        files.onExec = nullptr;
        OpenTest::TearDown();
    }
    // The user formats P, P #1, P #2, Q (changed by changeQ) and the family
    // 1, 1 #1, saved.
    void SaveStartList(const std::function<void(ImportFormat&)>& changeQ = nullptr)
    {
        ImportFormats.resize(size_t(PredefinedFormatCount));
        for (const ImportFormat& f : {Format("P", 2, "(p.*)"), Format("P #1", 0, "(p1.*)"),
                                      Format("P #2", 0, "(p2.*)"), Format("Q", 3, "(q.*)"),
                                      Format("1", 4, "(one.*)"), Format("1 #1", 0, "(one1.*)")})
            ImportFormats.push_back(f);
        if (changeQ)
            changeQ(ImportFormats[size_t(PredefinedFormatCount) + 3]);
        ASSERT_TRUE(PrefGlobal::SaveFormats());
    }
    // Runs "&Import Formats" with body doing the user's part.
    void RunEditor(const std::function<void(ImportDialog*)>& body)
    {
        files.onExec = [&](QDialog* dialog) {
            auto* editor = qobject_cast<ImportDialog*>(dialog);
            if (editor == nullptr)
                return int(QDialog::Rejected);
            editor->show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(editor));
            body(editor);
            return editor->result();
        };
        window->Actions[ACT_IMPORT_FORMATS]->trigger();
    }
    static void Select(ImportDialog* editor, const std::string& name)
    {
        for (QTreeWidgetItemIterator it(editor->Tree()); *it != nullptr; ++it)
            if ((*it)->text(1).trimmed() == QString::fromStdString(name)) {
                QRect cell = editor->Tree()->visualItemRect(*it);
                QTest::mouseClick(editor->Tree()->viewport(), Qt::LeftButton, {}, cell.center());
                return;
            }
        ADD_FAILURE() << "no entry " << name;
    }
    static void Click(ImportDialog* editor, const QString& text)
    {
        for (QPushButton* button : editor->findChildren<QPushButton*>())
            if (button->text() == text || button->objectName() == text) {
                QTest::mouseClick(button, Qt::LeftButton);
                return;
            }
        ADD_FAILURE() << "no button " << text.toStdString();
    }
    // Types text over the tree's open editor, then key.
    static void TypeInTree(ImportDialog* editor, const char* text, Qt::Key key)
    {
        auto* line = editor->Tree()->viewport()->findChild<QLineEdit*>();
        ASSERT_NE(line, nullptr);
        line->selectAll();
        QTest::keyClicks(line, text);
        QTest::keyClick(line, key);
    }
    // A new format's first field: TEXT with the expression.
    static void GiveField(ImportDialog* editor, const char* expression)
    {
        Click(editor, QStringLiteral("Add field"));
        QTableWidget* table = editor->FieldsTable();
        const int row = table->rowCount() - 1;
        static_cast<QComboBox*>(table->cellWidget(row, 0))->setCurrentText("TEXT");
        auto* line = table->cellWidget(row, 2)->findChild<RegLineEdit*>();
        line->setFocus();
        QTest::keyClicks(line, expression);
    }
    // The formats as the file gives them back.
    ImportFormatList Reloaded() const
    {
        ZmLib::IniFile back;
        back.Open(formatsDir.c_str(), "KxFormats", "ini");
        ImportFormatList list;
        PrefGlobal::LoadFormats(back.Ini, list, false, false);
        return list;
    }
    std::vector<std::string> UserRows(const ImportFormatList& list) const
    {
        return Rows(ImportFormatList(list.begin() + PredefinedFormatCount, list.end()));
    }

    std::string formatsDir;
};

// Each edit, then Ok: the file holds the names and display positions the
// tree showed, and reads back unchanged (no re-sorting by name). A renamed
// main format takes its sub-templates along; a built-in stays; a family of
// seven sub-templates takes no more.
TEST_F(ImportEditor, TreeEditsAreSavedWithTheirPositions)
{
    const auto press = [](const char* button) {
        return [button](ImportDialog* editor) { Click(editor, QString::fromLatin1(button)); };
    };
    const std::vector<std::string> start = {"P=2 (p.*)", "P #1=0 (p1.*)", "P #2=0 (p2.*)",
                                            "Q=3 (q.*)", "1=4 (one.*)", "1 #1=0 (one1.*)"};
    const struct {
        const char* what;
        const char* select;
        std::function<void(ImportDialog*)> edit;
        std::vector<std::string> rows; // empty: not saved
        int boxes = 0;                 // warning boxes shown
        std::function<void(ImportFormat&)> changeQ = nullptr;
    } cases[] = {
        {"sub-template on P", "P", press("Add Sub-template"),
         {"P=2 (p.*)", "P #2=0 (p1.*)", "P #3=0 (p2.*)", "Q=3 (q.*)", "1=4 (one.*)", "1 #1=0 (one1.*)",
          "P #1=0 (n.*)"}},
        {"sub-template on P #1", "P #1", press("Add Sub-template"),
         {"P=2 (p.*)", "P #1=0 (p1.*)", "P #3=0 (p2.*)", "Q=3 (q.*)", "1=4 (one.*)", "1 #1=0 (one1.*)",
          "P #2=0 (n.*)"}},
        {"duplicate of a sub-template", "P #1", press("Duplicate"),
         {"P=2 (p.*)", "P #1=0 (p1.*)", "P #3=0 (p2.*)", "Q=3 (q.*)", "1=4 (one.*)", "1 #1=0 (one1.*)",
          "P #2=0 (p1.*)"}},
        {"duplicate of a family", "P", press("Duplicate"),
         {"P=2 (p.*)", "P #1=0 (p1.*)", "P #2=0 (p2.*)", "Q=4 (q.*)", "1=5 (one.*)", "1 #1=0 (one1.*)",
          "P(new)=3 (p.*)", "P(new) #1=0 (p1.*)", "P(new) #2=0 (p2.*)"}},
        {"duplicate renames only the main name", "1", press("Duplicate"),
         {"P=2 (p.*)", "P #1=0 (p1.*)", "P #2=0 (p2.*)", "Q=3 (q.*)", "1=4 (one.*)", "1 #1=0 (one1.*)",
          "1(new)=5 (one.*)", "1(new) #1=0 (one1.*)"}},
        {"duplicate of a single format", "Q", press("Duplicate"),
         {"P=2 (p.*)", "P #1=0 (p1.*)", "P #2=0 (p2.*)", "Q=3 (q.*)", "1=5 (one.*)", "1 #1=0 (one1.*)",
          "Q(new)=4 (q.*)"}},
        {"move up of P #1", "P #1", press("Move Up"),
         {"P #1=0 (p.*)", "P=2 (p1.*)", "P #2=0 (p2.*)", "Q=3 (q.*)", "1=4 (one.*)", "1 #1=0 (one1.*)"}},
        {"move up of Q", "Q", press("Move Up"),
         {"P=3 (p.*)", "P #1=0 (p1.*)", "P #2=0 (p2.*)", "Q=2 (q.*)", "1=4 (one.*)", "1 #1=0 (one1.*)"}},
        {"move down of P #1", "P #1", press("Move Down"),
         {"P=2 (p.*)", "P #2=0 (p1.*)", "P #1=0 (p2.*)", "Q=3 (q.*)", "1=4 (one.*)", "1 #1=0 (one1.*)"}},
        {"delete P #1", "P #1", press("Delete"),
         {"P=2 (p.*)", "P #1=0 (p2.*)", "Q=3 (q.*)", "1=4 (one.*)", "1 #1=0 (one1.*)"}},
        {"delete the family P", "P", press("Delete"), {"Q=2 (q.*)", "1=3 (one.*)", "1 #1=0 (one1.*)"}},
        // A sub-template of a file that lost its number goes alone; the rest
        // keep their numbers.
        {"delete P # of a file", "P #", press("Delete"),
         {"P=2 (p.*)", "P #1=0 (p1.*)", "P #2=0 (p2.*)", "1=3 (one.*)", "1 #1=0 (one1.*)"}, 0,
         [](ImportFormat& q) { q.name = "P #", q.visual = 0; }},
        {"P #1 renamed without its number", "P #1",
         [](ImportDialog* editor) {
             QTest::keyClick(editor->Tree(), Qt::Key_F2);
             TypeInTree(editor, "P #", Qt::Key_Return);
             EXPECT_EQ(ImportErrorText, "Name could not contain # symbol");
             TypeInTree(editor, "P #1", Qt::Key_Return);
             QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
         },
         start},
        {"rename P to B", "P",
         [](ImportDialog* editor) {
             QTest::keyClick(editor->Tree(), Qt::Key_F2);
             TypeInTree(editor, "B", Qt::Key_Return);
         },
         {"B=2 (p.*)", "B #1=0 (p1.*)", "B #2=0 (p2.*)", "Q=3 (q.*)", "1=4 (one.*)", "1 #1=0 (one1.*)"}},
        {"Delete key on the built-in", "SysLog (predefined)",
         [](ImportDialog* editor) { QTest::keyClick(editor->Tree(), Qt::Key_Delete); }, start},
        {"an eighth template", "P",
         [](ImportDialog* editor) {
             for (int n = 0; n < 5; ++n) {
                 Click(editor, QStringLiteral("Add Sub-template"));
                 if (editor->FieldsTable()->rowCount() == 0)
                     GiveField(editor, "(n.*)");
             }
             Select(editor, "P");
             Click(editor, QStringLiteral("Add Sub-template"));
         },
         {}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SaveStartList(c.changeQ);
        files.calls.clear();
        files.answers.push_back(QMessageBox::Yes);
        RunEditor([&](ImportDialog* editor) {
            Select(editor, c.select);
            c.edit(editor);
            if (editor->FieldsTable()->rowCount() == 0)
                GiveField(editor, "(n.*)");
            Click(editor, QStringLiteral("Ok"));
            EXPECT_FALSE(editor->isVisible()) << ImportErrorText;
        });
        files.answers.clear();
        if (!c.rows.empty()) {
            EXPECT_EQ(UserRows(Reloaded()), c.rows);
            // A second start reads the same order: the file passed its check.
            EXPECT_EQ(UserRows(ImportFormats), c.rows);
        }
        const auto boxes = std::count_if(files.calls.begin(), files.calls.end(),
                                         [](const PromptCall& call) { return call.icon == QMessageBox::Warning; });
        EXPECT_EQ(int(boxes), c.boxes);
        if (c.boxes > 0) {
            EXPECT_TRUE(std::any_of(files.calls.begin(), files.calls.end(), [](const PromptCall& call) {
                return call.text == "Maximum amount of sub-templates (8) is reached";
            }));
            EXPECT_EQ(ImportDialog::FamilyOf(PredefinedFormatCount).size(), 8u);
        }
    }
}

// Deleting a field row lowers only the columns after a shown field.
TEST_F(ImportEditor, DeletingAFieldKeepsTheOtherColumns)
{
    const struct {
        std::vector<int32_t> positions, left;
        int row;
    } cases[] = {{{-1, 0, 1}, {0, 1}, 0}, {{0, 1, 2}, {0, 1}, 0}, {{1, -1, 0}, {1, 0}, 1}};
    for (const auto& c : cases) {
        SaveStartList([&](ImportFormat& q) {
            const char* keys[] = {"TEXT", "PID", "TID"};
            q.fields.clear();
            for (size_t f = 0; f < c.positions.size(); ++f)
                q.fields.push_back({keys[f], c.positions[f], "(.*)"});
            q.ComposeExpression();
        });
        RunEditor([&](ImportDialog* editor) {
            Select(editor, "Q");
            editor->FieldsTable()->setCurrentCell(c.row, 0);
            Click(editor, QStringLiteral("Delete field"));
            Click(editor, QStringLiteral("Ok"));
        });
        std::vector<int32_t> left;
        const ImportFormatList back = Reloaded();
        for (const ImportFormatField& field : back[size_t(PredefinedFormatCount) + 3].fields)
            left.push_back(field.viewPosition);
        EXPECT_EQ(left, c.left) << c.row;
    }
}

// Ok whose save fails: reported, the dialog stays and the edits stay marked.
TEST_F(ImportEditor, FailedSaveKeepsTheDialogOpen)
{
    SaveStartList();
    const std::string nowhere = formatsDir + "/missing/folder";
    PrefGlobal::IniFormats.Open(nowhere.c_str(), "KxFormats", "ini");
    RunEditor([&](ImportDialog* editor) {
        Select(editor, "Q");
        Click(editor, QStringLiteral("Duplicate"));
        Click(editor, QStringLiteral("Ok"));
        EXPECT_TRUE(editor->isVisible());
        EXPECT_TRUE(ImportFormatsModified);
        EXPECT_FALSE(LinesWith("Cannot write '" + nowhere + "/KxFormats.ini', please check it is writable!").empty());
        // Yes to "Save changes?" at close: the same refusal.
        files.answers.push_back(QMessageBox::Yes);
        editor->close();
        EXPECT_TRUE(editor->isVisible());
        EXPECT_TRUE(std::any_of(files.calls.begin(), files.calls.end(),
                                [](const PromptCall& call) { return call.text == "Save changes?"; }));
        EXPECT_TRUE(ImportFormatsModified);
        files.answers.push_back(QMessageBox::Yes);
        Click(editor, QStringLiteral("Cancel"));
        EXPECT_FALSE(editor->isVisible());
    });
}

// A new format named in the tree and given fields; its delimiter trimmed to
// one character; Return in a field line leaves the dialog open.
TEST_F(ImportEditor, NewFormatNamedInTheTreeIsSaved)
{
    SaveStartList();
    RunEditor([&](ImportDialog* editor) {
        Click(editor, QStringLiteral("Create new"));
        TypeInTree(editor, "Mine", Qt::Key_Return);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QTreeWidget* tree = editor->Tree();
        ASSERT_EQ(tree->currentItem()->text(1), "Mine");
        const QPoint extension(tree->columnViewportPosition(2) + 5,
                               tree->visualItemRect(tree->currentItem()).center().y());
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, extension);
        QTest::keyClick(tree, Qt::Key_F2);
        TypeInTree(editor, "*.mine", Qt::Key_Return);
        for (int f = 0; f < 2; ++f)
            Click(editor, QStringLiteral("Add field"));
        QTableWidget* table = editor->FieldsTable();
        ASSERT_EQ(table->rowCount(), 2);
        static_cast<QComboBox*>(table->cellWidget(0, 0))->setCurrentText("PID");
        static_cast<QComboBox*>(table->cellWidget(1, 0))->setCurrentText("TEXT");
        auto* line = table->cellWidget(0, 2)->findChild<RegLineEdit*>();
        line->setFocus();
        QTest::keyClicks(line, "(\\d+) ");
        QTest::keyClick(line, Qt::Key_Return);
        EXPECT_TRUE(editor->isVisible());
        QTest::keyClicks(table->cellWidget(1, 2)->findChild<RegLineEdit*>(), "(.*)");
        Click(editor, QStringLiteral("Ok"));
        EXPECT_FALSE(editor->isVisible()) << ImportErrorText;
    });
    const QString text = ReadAll(QString::fromStdString(formatsDir + "/KxFormats.ini"));
    EXPECT_TRUE(text.contains("Name=\"Mine\"\nExtension=*.mine\nEnabled=1\nVisual=5\nJavaException=0\nDelimiter=\"\"\n"
                              "Mode=1\nPID=0,\"(\\d+) \"\nTEXT=1,\"(.*)\"\n"))
        << text.toStdString();
}

TEST_F(ImportEditor, DelimiterKeepsItsFirstCharacter)
{
    const std::pair<const char*, std::string> cases[] = {{"  ,x ", ","}, {"   ", " "}}; // typed, stored
    for (const auto& c : cases) {
        SaveStartList([](ImportFormat& q) {
            q.mode = IMPORT_MODE_DELIMITED;
            q.delimiter = ";";
        });
        RunEditor([&](ImportDialog* editor) {
            Select(editor, "Q");
            QLineEdit* delimiter = nullptr;
            for (QLineEdit* line : editor->findChildren<QLineEdit*>())
                if (line->maximumWidth() == 22)
                    delimiter = line;
            ASSERT_NE(delimiter, nullptr);
            delimiter->setFocus();
            delimiter->selectAll();
            QTest::keyClicks(delimiter, c.first);
            QTest::keyClick(delimiter, Qt::Key_Return);
            EXPECT_EQ(delimiter->text().toStdString(), c.second);
            Click(editor, QStringLiteral("Ok"));
        });
        EXPECT_EQ(Reloaded()[size_t(PredefinedFormatCount) + 3].delimiter, c.second) << c.first;
    }
}

// Cancel with Discard, and Escape on an unnamed new format, leave the file
// as it was, byte for byte.
TEST_F(ImportEditor, LeavingWithoutSavingLeavesTheFile)
{
    SaveStartList();
    const QString path = QString::fromStdString(formatsDir + "/KxFormats.ini");
    const QString before = ReadAll(path);
    files.answers.push_back(QMessageBox::Yes);
    RunEditor([&](ImportDialog* editor) {
        Select(editor, "Q");
        Click(editor, QStringLiteral("Duplicate"));
        Click(editor, QStringLiteral("Cancel"));
        EXPECT_FALSE(editor->isVisible());
    });
    ASSERT_FALSE(files.calls.empty());
    EXPECT_EQ(files.calls.back().text, "Discard all changes?");
    EXPECT_EQ(ReadAll(path), before);
    EXPECT_EQ(UserRows(ImportFormats), UserRows(Reloaded()));

    RunEditor([&](ImportDialog* editor) {
        const int entries = editor->Tree()->topLevelItemCount();
        Click(editor, QStringLiteral("Create new"));
        TypeInTree(editor, "", Qt::Key_Escape);
        EXPECT_EQ(editor->Tree()->topLevelItemCount(), entries);
        EXPECT_EQ(editor->NewFormatIndex, -1);
        Click(editor, QStringLiteral("Ok"));
    });
    EXPECT_EQ(UserRows(Reloaded()), UserRows(ImportFormats));
}

// A file that no format claims: the editor asks; Ok loads with the chosen
// format, Cancel stops with the log line.
TEST_F(ImportEditor, UnknownSuffixAsksTheEditor)
{
    SaveStartList();
    const QString notes = SysLogFile("notes.txt", 3);
    const auto press = [&](const char* button) {
        files.onExec = [=](QDialog* dialog) {
            auto* editor = qobject_cast<ImportDialog*>(dialog);
            editor->show();
            Select(editor, "SysLog (predefined)");
            Click(editor, QString::fromLatin1(button));
            return editor->result();
        };
    };
    press("Ok");
    Trigger(ACT_OPEN, notes);
    EXPECT_EQ(files.execTitles.size(), 1u);
    EXPECT_EQ(Documents().size(), 1u);

    press("Cancel");
    Trigger(ACT_IMPORT, notes);
    EXPECT_EQ(LinesWith("Unknown import type for file " + notes.toStdString() + " , import stopped").size(), 1u);
    EXPECT_EQ(Documents().size(), 1u);
}

// Try Test File shows at most ten records in the format's columns; each
// run's table goes when its result closes. A try opens no document: it is
// not reported as an import, and the status line says so neither during
// nor after it.
TEST_F(ImportEditor, TryTestFileShowsTenRecordsAndFreesThem)
{
    SaveStartList();
    const QString log = SysLogFile("big.txt", 200);
    int runs = 0;
    std::vector<int> rows;
    std::vector<QString> statuses;
    const int32_t tablesBefore = KxTable::LiveCount();
    RunEditor([&](ImportDialog* editor) {
        files.onExec = [&](QDialog* result) {
            auto* table = result->findChild<QTableWidget*>();
            rows.push_back(table->rowCount());
            statuses.push_back(MainWindow::StatusBar->currentMessage());
            return int(QDialog::Accepted);
        };
        editor->SetTestFile(log);
        Select(editor, "SysLog (predefined)");
        for (runs = 0; runs < 20; ++runs)
            Click(editor, QStringLiteral("Try Test File"));
        editor->SetTestFile(QString());
        Click(editor, QStringLiteral("Try Test File"));
        Click(editor, QStringLiteral("Cancel"));
    });
    EXPECT_EQ(rows, std::vector<int>(20, 10));
    EXPECT_EQ(KxTable::LiveCount(), tablesBefore);
    EXPECT_EQ(LinesWith("Test file is not set").size(), 1u);
    EXPECT_TRUE(Documents().empty());
    EXPECT_TRUE(LinesWith("imported by format").empty());
    EXPECT_EQ(statuses, std::vector<QString>(20, QStringLiteral("Ready")));
    EXPECT_EQ(MainWindow::StatusBar->currentMessage(), "Ready");
}

// The test file's last line without its line end is matched as the lines
// before it: a last piece that takes the line end with "\\s" still fits.
TEST_F(ImportEditor, TryTestFileReadsTheLastLineWithoutItsLineEnd)
{
    ImportFormats.resize(size_t(PredefinedFormatCount));
    ImportFormat words = Format("Words", 2, "");
    words.fields = {{"KXNAME", 0, "(\\w+) "}, {"TEXT", 1, "(\\S+)\\s"}};
    words.ComposeExpression();
    ImportFormats.push_back(words);
    ASSERT_TRUE(PrefGlobal::SaveFormats());
    const QString path = dir.filePath("words.w");
    ASSERT_TRUE(KxFileGen::WriteFile(QFile::encodeName(path).constData(), "a b\nc d"));
    std::vector<std::string> rows;
    RunEditor([&](ImportDialog* editor) {
        files.onExec = [&](QDialog* result) {
            auto* table = result->findChild<QTableWidget*>();
            for (int row = 0; row < table->rowCount(); ++row) {
                std::string shown;
                for (int column = 0; column < table->columnCount(); ++column) {
                    const QString header = table->horizontalHeaderItem(column)->text();
                    if (header == "KXNAME" || header == "TEXT")
                        shown += header.toStdString() + "=" + table->item(row, column)->text().toStdString() + " ";
                }
                rows.push_back(shown);
            }
            return int(QDialog::Accepted);
        };
        editor->SetTestFile(path);
        Select(editor, "Words");
        Click(editor, QStringLiteral("Try Test File"));
        Click(editor, QStringLiteral("Cancel"));
    });
    EXPECT_EQ(rows, (std::vector<std::string>{"KXNAME=a TEXT=b ", "KXNAME=c TEXT=d "}));
}

// Test files that give nothing to show: the loader says why (an empty file
// shows its empty result, read as any other), and the editor stays open.
TEST_F(ImportEditor, UnusableTestFilesLeaveTheEditorOpen)
{
    SaveStartList();
    QDir(dir.path()).mkdir("folder.txt");
    KxFileGen::WriteFile(QFile::encodeName(dir.filePath("empty.txt")).constData(), std::string());
    const struct {
        const char* file;
        const char* message;
        int results;
    } cases[] = {{"absent.txt", "Error opening file \"%1\"", 0}, {"folder.txt", "Error opening file \"%1\"", 0},
                 {"empty.txt", "Loading file: %1", 1}};
    for (const auto& c : cases) {
        const QString path = dir.filePath(c.file);
        int results = 0;
        RunEditor([&](ImportDialog* editor) {
            files.onExec = [&](QDialog*) {
                ++results;
                return int(QDialog::Accepted);
            };
            editor->SetTestFile(path);
            Select(editor, "SysLog (predefined)");
            Click(editor, QStringLiteral("Try Test File"));
            EXPECT_TRUE(editor->isVisible()) << c.file;
            Click(editor, QStringLiteral("Cancel"));
        });
        EXPECT_EQ(results, c.results) << c.file;
        EXPECT_FALSE(LinesWith(QString::fromLatin1(c.message).arg(path).toStdString()).empty()) << c.file;
    }
}

// "Load Formats" from another file: the taken format shows in the editor's
// tree at once, so that it can be edited and saved with the rest.
TEST_F(ImportEditor, LoadedFormatsShowInTheTree)
{
    SaveStartList();
    ImportFormatList other(ImportFormats.begin(), ImportFormats.begin() + PredefinedFormatCount);
    other.push_back(Format("Z", 1, "(z.*)"));
    const QString otherDir = dir.filePath("other");
    ASSERT_TRUE(QDir().mkpath(otherDir));
    {
        ZmLib::IniFile ini;
        ini.Open(QFile::encodeName(otherDir).constData(), "Other", "ini");
        PrefGlobal::SaveFormats(ini.Ini, other);
        ASSERT_TRUE(ini.Flush());
    }
    files.files.push_back(otherDir + "/Other.ini");
    bool shown = false;
    RunEditor([&](ImportDialog* editor) {
        // The selection dialog is nested in the editor's run: take its rows as offered.
        files.onExec = [](QDialog* dialog) {
            return int(qobject_cast<ImportDialog*>(dialog) ? QDialog::Rejected : QDialog::Accepted);
        };
        Click(editor, QStringLiteral("Load Formats"));
        for (QTreeWidgetItemIterator it(editor->Tree()); *it != nullptr; ++it)
            shown = shown || (*it)->text(1).trimmed() == "Z";
        editor->reject();
    });
    EXPECT_TRUE(shown);
}
