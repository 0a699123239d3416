// The gui library through the prompt seam: the values gui.input shows and
// writes back (64-bit integers, untouched doubles, local 8-bit texts,
// choices, Cancel), its argument errors, gui.message's boxes; and the
// interpreter's event polling in a busy loop and while paused.
// The parser's headers first: they use a name that Qt defines as a macro.
#include "tests/script/scriptbase/script_fixture.h"

#include <functional>
#include <string>
#include <vector>

#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTextCodec>
#include <QTimer>

#include "script/scriptbasegui/scriptbasegui.h"
#include "script/scriptbasegui/scriptinputdialog.h"
#include "tests/tearoffwidget/scriptedprompt.h"

using scripttest::ScriptFixture;

namespace {

// Drives each input dialog it is given with the next action.
class InputPrompt : public ScriptedPrompt {
public:
    int Exec(QDialog* dialog) override
    {
        execs++;
        dialog->show();
        if (!actions.isEmpty())
            actions.dequeue()(dialog);
        return dialog->result();
    }
    QQueue<std::function<void(QDialog*)>> actions;
    int execs = 0;
};

// The editors' texts, '|' between rows.
QString Shown(QDialog* dialog)
{
    QStringList texts;
    for (QWidget* editor : dialog->findChildren<QWidget*>()) {
        if (auto* edit = qobject_cast<QLineEdit*>(editor))
            texts << edit->text();
        else if (auto* combo = qobject_cast<QComboBox*>(editor))
            texts << combo->currentText();
    }
    return texts.join('|');
}

void TypeOver(QLineEdit* edit, const QString& text)
{
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

void Press(QDialog* dialog, const QString& button)
{
    for (QPushButton* b : dialog->findChildren<QPushButton*>())
        if (b->text() == button)
            QTest::mouseClick(b, Qt::LeftButton);
}

class GuiLibrary : public ScriptFixture {
protected:
    void SetUp() override
    {
        ScriptFixture::SetUp();
        gui_.Init(nullptr, &registry_);
        // Scripts are UTF-8 here whatever the test machine's locale.
        QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    }
    void TearDown() override
    {
        ProcessEventsCallback = nullptr;
        WaitEventsCallback = nullptr;
        ScriptConstantTable::Global().Clear();
        QTextCodec::setCodecForLocale(nullptr);
        ScriptFixture::TearDown();
    }
    std::string RunEnded(const std::string& script)
    {
        const std::string output = Run(script);
        return registry_.RunEnded(), output;
    }

    ScriptBaseGui gui_;
    InputPrompt prompt_;
    PromptGuard guard_{&prompt_};
};

TEST_F(GuiLibrary, InputShowsAndWritesBack)
{
    const std::string integer = "var n = 1; gui.input(DLG_INPUT_INTEGER, \"n\", n); print(n);";
    const std::string two = "var n = 7; var s = \"a\"; gui.input(DLG_INPUT_INTEGER, \"n\", n, DLG_INPUT_STRING, \"s\", s);"
                            "print(n, s);";
    const auto choice = [](const char* value) {
        return std::string("var ch = {\"a\", 2}; var c = ") + value + "; gui.input(ch, \"c\", c); print(\"[\" + c + \"]\");";
    };
    // typed: the edit's index and the text typed over it, then button is pressed
    const struct { std::string script; const char* shown; const char* expected;
        std::vector<std::pair<int, QString>> typed = {}; const char* button = "Ok"; } cases[] = {
        // 64-bit integers are shown, typed and read whole.
        {"var n = 5000000 * 1000000; gui.input(DLG_INPUT_INTEGER, \"n\", n); print(n);", "5000000000000",
         "5000000000000\n"},
        {integer, "1", "-9000000000000000001\n", {{0, "-9000000000000000001"}}},
        // A digit that would leave the 64-bit range is refused.
        {integer, "1", "999999999999999999\n", {{0, "99999999999999999999"}}}, {integer, "1", "0\n", {{0, "-"}}},
        // An untouched double keeps its value; an edited one is read.
        {"var d = 3.14159265358979; gui.input(DLG_INPUT_DOUBLE, \"d\", d); print(d == 3.14159265358979);", "3.14159",
         "1\n"},
        {"var d = 7; gui.input(DLG_INPUT_DOUBLE, \"d\", d); print(d);", "7", "2500.000000\n", {{0, "2.5e3"}}},
        // Texts travel in the local 8-bit encoding, not Latin-1.
        {"var s = \"жук\"; gui.input(DLG_INPUT_STRING, \"s\", s); print(s);", "жук", "жук\n"},
        {"var s; gui.input(DLG_INPUT_STRING, \"s\", s); print(s);", "", "ёж\n", {{0, "ёж"}}},
        {"var s = 12; gui.input(DLG_INPUT_STRING, \"s\", s); print(s + \"!\");", "12", "12!\n"},
        // Each text row's answer is kept by its own variable.
        {"var s = \"a\"; var t = \"b\"; gui.input(DLG_INPUT_STRING, \"s\", s, DLG_INPUT_STRING, \"t\", t);"
         " print(s, \"|\", t);",
         "a|b", "xy|zw\n", {{0, "xy"}, {1, "zw"}}},
        // Cancel leaves every variable as it was.
        {two, "7|a", "7a\n", {{0, "8"}, {1, "b"}}, "Cancel"}, {two, "7|a", "8b\n", {{0, "8"}, {1, "b"}}},
        // Choices: a text among them is selected, an unknown one selects
        // none and reads back empty, anything else starts at the first.
        {choice("\"zz\""), "", "[]\n"}, {choice("\"2\""), "2", "[2]\n"}, {choice("5"), "a", "[a]\n"},
        // A variable that held an array takes the value.
        {"var v = {1}; gui.input(DLG_INPUT_INTEGER, \"v\", v); print(v);", "0", "0\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        QString shown;
        prompt_.actions.enqueue([&](QDialog* dialog) {
            shown = Shown(dialog);
            const QList<QLineEdit*> edits = dialog->findChildren<QLineEdit*>();
            for (const auto& typed : c.typed)
                TypeOver(edits.at(typed.first), typed.second);
            Press(dialog, c.button);
        });
        EXPECT_EQ(c.expected, RunEnded(c.script));
        EXPECT_EQ(QString::fromUtf8(c.shown), shown);
    }
}

TEST_F(GuiLibrary, InputArgumentErrors)
{
    const scripttest::ScriptCase cases[] = {
        {"var a; gui.input(0, \"a\", a, 1);", "ERROR Arguments count must be a multiple of three 1"},
        {"gui.input(DLG_INPUT_INTEGER, \"n\", 5);", "ERROR Argument 2 must be a variable 1"},
        {"var a;\nvar b;\ngui.input(0, \"a\", a, 1, \"b\", 5);", "ERROR Argument 5 must be a variable 3"},
        {"var a; gui.input(7, \"a\", a);", "ERROR Argument 0 has incorrect value 7 1"},
        {"var a; var b; gui.input(0, \"a\", a, -1, \"b\", b);", "ERROR Argument 3 has incorrect value -1 1"},
        {"var e[]; var a; gui.input(e, \"a\", a);", "ERROR Argument 0 array size 0 1"},
        {"var e[]; e[1] = \"x\"; var a; gui.input(e, \"a\", a);", "ERROR Element 0 in array of argument 0 undefined 1"},
        {"var a; gui.input(\"x\", \"a\", a);", "ERROR Argument 0 type error 1"},
        {"var a; var b; gui.input(0, \"a\", a, 2.5, \"b\", b);", "ERROR Argument 3 type error 1"},
    };
    ExpectRuns(cases);
    EXPECT_EQ(0, prompt_.execs);
}

TEST_F(GuiLibrary, MessageBoxes)
{
    using Box = QMessageBox;
    const struct { const char* arguments; Box::StandardButton answer; const char* title; Box::StandardButtons buttons;
        const char* expected; } cases[] = {
        {"", Box::Ok, "Script info", Box::Ok, "0\n"}, {", BUTTON_OK", Box::Ok, "Script info", Box::Ok, "0\n"},
        {", BUTTON_YES_NO", Box::Yes, "Script question", Box::Yes | Box::No, "1\n"},
        {", BUTTON_YES_NO", Box::No, "Script question", Box::Yes | Box::No, "0\n"},
    };
    for (const auto& c : cases) {
        const std::string script = std::string("print(gui.message(\"hi\"") + c.arguments + "));";
        SCOPED_TRACE(script);
        prompt_.asked.clear();
        prompt_.answers.enqueue(c.answer);
        EXPECT_EQ(c.expected, RunEnded(script));
        ASSERT_EQ(1, prompt_.asked.size());
        EXPECT_EQ(nullptr, prompt_.asked[0].parent);
        EXPECT_EQ(c.title, prompt_.asked[0].title);
        EXPECT_EQ("hi", prompt_.asked[0].text);
        EXPECT_EQ(c.buttons, prompt_.asked[0].buttons);
    }
}

int g_polls = 0;
void ProcessEventsOnce() { g_polls++, QCoreApplication::processEvents(QEventLoop::AllEvents); }
void WaitForEvents() { g_polls++, QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); }

// Owned by the test, so that it cannot fire after the test has ended.
void After(QTimer& timer, int ms, const std::function<void()>& action)
{
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, action);
    timer.start(ms);
}

// A loop without library calls still runs the event loop: a posted timer
// fires, and the stop it requests ends the loop.
TEST_F(GuiLibrary, BusyLoopPollsEventsAndStops)
{
    ProcessEventsCallback = &ProcessEventsOnce;
    bool handled = false;
    QTimer event, stop;
    After(event, 20, [&] { handled = true; });
    After(stop, 40, [&] { code_->Stop(); });
    EXPECT_EQ("EXIT 1", Run("var i = 0; while (i < 3000000) { i++; } print(\"end\");"));
    EXPECT_TRUE(handled);
}

// A paused script sleeps in the event loop instead of spinning in it.
TEST_F(GuiLibrary, PausedScriptWaitsForEvents)
{
    ProcessEventsCallback = &ProcessEventsOnce;
    WaitEventsCallback = &WaitForEvents;
    g_polls = 0;
    QTimer resume;
    After(resume, 100, [&] { code_->pause = 1; });
    EXPECT_EQ("1\n2\n", Run("print(1); test.pause(); print(2);"));
    EXPECT_LT(g_polls, 20);
}

} // namespace
