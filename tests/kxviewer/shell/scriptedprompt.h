// A prompt that answers every modal interaction from a script and keeps
// what it was asked.
#pragma once

#include <deque>
#include <functional>
#include <vector>

#include <QDialog>

#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearoffprompt.h"

struct PromptCall {
    QMessageBox::Icon icon;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    QWidget* parent;
};

class ScriptedPrompt : public TearOffPrompt {
public:
    ScriptedPrompt() { previous_ = TearOffMain::SetPrompt(this); }
    ~ScriptedPrompt() override { TearOffMain::SetPrompt(previous_); }

    QMessageBox::StandardButton Message(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                        const QString& text, QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton) override
    {
        calls.push_back({icon, title, text, buttons, parent});
        if (onMessage)
            onMessage(calls.back());
        if (answers.empty())
            return QMessageBox::Ok;
        const QMessageBox::StandardButton answer = answers.front();
        answers.pop_front();
        return answer;
    }

    // The program's own dialogs: their titles, and what each run does
    // (rejected when nothing is set).
    int Exec(QDialog* dialog) override
    {
        dialogs.push_back(dialog->windowTitle());
        return onExec ? onExec(dialog) : QDialog::Rejected;
    }

    std::vector<PromptCall> calls;
    std::vector<QString> dialogs;
    std::function<int(QDialog*)> onExec;
    // Runs while a message box would be up, with what it shows.
    std::function<void(const PromptCall&)> onMessage;
    std::deque<QMessageBox::StandardButton> answers;

private:
    TearOffPrompt* previous_;
};
