#include "script/scriptbasegui/scriptbasegui.h"

#include <vector>

#include <QPointer>
#include <QWidget>

#include "script/scriptbase/codeparser.h"
#include "script/scriptbasegui/scriptinputdialog.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearoffprompt.h"

namespace {

const ScriptLibFunc kFunctions[ScriptBaseGui::FUNCTION_COUNT] = {
    // The target variables may still be undefined.
    {"gui.input", 1, SCRIPT_INTEGER, 3, {SCRIPT_ANY, SCRIPT_STRING, SCRIPT_ANY}},
    {"gui.message", 0, SCRIPT_INTEGER, 1, {SCRIPT_STRING, SCRIPT_INTEGER}},
};

QString FromScript(const char* text)
{
    return QString::fromLocal8Bit(text ? text : "");
}

[[noreturn]] void Fail(const std::string& message, int line)
{
    CodeParser::ThrowError(message.c_str(), nullptr, line);
}

// The row an argument triple asks for; t is the position of its first
// argument.
ScriptInputDialog::Item MakeItem(const ScriptValue& kind, const ScriptValue& label, const ScriptValue& target, int t,
                                 int line)
{
    ScriptInputDialog::Item item;
    item.label = FromScript(CodeParser::ValueToText(label, line));
    const std::string position = std::to_string(t);
    if (kind.type == SCRIPT_INTEGER) {
        switch (kind.Int()) {
        case ScriptBaseGui::DLG_INPUT_INTEGER:
            item.kind = ScriptInputDialog::ROW_INTEGER;
            item.integer = target.type == SCRIPT_INTEGER ? target.Int() : 0;
            return item;
        case ScriptBaseGui::DLG_INPUT_DOUBLE:
            item.kind = ScriptInputDialog::ROW_DOUBLE;
            item.number = target.IsNumber() ? target.AsDouble() : 0.0;
            return item;
        case ScriptBaseGui::DLG_INPUT_STRING:
            item.kind = ScriptInputDialog::ROW_TEXT;
            if (target.type != SCRIPT_UNDEFINED)
                item.text = FromScript(CodeParser::ValueToText(target, line));
            return item;
        default:
            Fail("Argument " + position + " has incorrect value " + std::to_string(kind.Int()) + " ", line);
        }
    }
    if (kind.type != SCRIPT_ARRAY)
        Fail("Argument " + position + " type error ", line);
    const int32_t size = kind.array ? kind.array->size : 0;
    if (size == 0)
        Fail("Argument " + position + " array size 0 ", line);
    item.kind = ScriptInputDialog::ROW_CHOICE;
    for (int32_t i = 0; i < size; i++) {
        const ScriptValue& element = kind.array->elements[i].Get();
        if (element.type == SCRIPT_UNDEFINED)
            Fail("Element " + std::to_string(i) + " in array of argument " + position + " undefined ", line);
        item.choices.append(FromScript(CodeParser::ValueToText(element, line)));
    }
    item.integer = target.type == SCRIPT_STRING ? item.choices.indexOf(FromScript(target.text)) : 0;
    return item;
}

} // namespace

void ScriptBaseGui::Init(QWidget* mainWindow, ScriptLibRegistry* registry)
{
    ScriptConstantTable& constants = ScriptConstantTable::Global();
    constants.AddInt("DLG_INPUT_INTEGER", DLG_INPUT_INTEGER);
    constants.AddInt("DLG_INPUT_DOUBLE", DLG_INPUT_DOUBLE);
    constants.AddInt("DLG_INPUT_STRING", DLG_INPUT_STRING);
    constants.AddInt("BUTTON_OK", BUTTON_OK);
    constants.AddInt("BUTTON_YES_NO", BUTTON_YES_NO);
    mainWindow_ = mainWindow;
    if (registry)
        registry->Add(this, kFunctions, FUNCTION_COUNT);
}

bool ScriptBaseGui::Run(ScriptValue& result, int function, int*, int line, ScriptArgList& args)
{
    switch (function) {
    case 0:
        Input(line, args);
        return true;
    case 1:
        result.SetInt(Message(line, args));
        return true;
    default:
        return false;
    }
}

int64_t ScriptBaseGui::Message(int line, const ScriptArgList& args)
{
    const QString text = FromScript(CodeParser::ValueToText(args.Arg(0), line));
    TearOffPrompt& prompt = TearOffMain::Prompt();
    if (args.count > 1 && args.Arg(1).Int() != BUTTON_OK)
        return prompt.Question(nullptr, QStringLiteral("Script question"), text, QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::Yes) == QMessageBox::Yes
                   ? 1
                   : 0;
    prompt.Message(nullptr, QMessageBox::Information, QStringLiteral("Script info"), text, QMessageBox::Ok,
                   QMessageBox::Ok);
    return 0;
}

void ScriptBaseGui::Input(int line, ScriptArgList& args)
{
    if (args.count % 3 != 0)
        Fail("Arguments count must be a multiple of three ", line);
    std::vector<ScriptInputDialog::Item> items;
    std::vector<ScriptValue*> targets;
    for (uint32_t t = 0; t < args.count; t += 3) {
        if (!args.args[t + 2].IsReference())
            Fail("Argument " + std::to_string(t + 2) + " must be a variable ", line);
        items.push_back(MakeItem(args.Arg(t), args.Arg(t + 1), args.Arg(t + 2), int(t), line));
        targets.push_back(args.args[t + 2].current);
    }
    // Held by a guard: closing the window mid-dialog deletes it.
    QPointer<ScriptInputDialog> dialog = new ScriptInputDialog(items, mainWindow_);
    const int answer = TearOffMain::Prompt().Exec(dialog);
    if (!dialog)
        return;
    if (answer == QDialog::Accepted) {
        for (size_t i = 0; i < items.size(); i++) {
            const ScriptInputDialog::Item& item = items[i];
            ScriptValue value;
            if (item.kind == ScriptInputDialog::ROW_INTEGER) {
                value = ScriptValue::Integer(item.integer);
            } else if (item.kind == ScriptInputDialog::ROW_DOUBLE) {
                value = ScriptValue::Real(item.number);
            } else {
                value = ScriptValue::String(item.text.toLocal8Bit().constData());
            }
            CodeParser::FreeValue(*targets[i], false);
            *targets[i] = value;
        }
    }
    delete dialog;
}
