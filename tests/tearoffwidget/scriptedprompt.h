// A prompt that answers from a script and records what was asked.
#pragma once

#include <functional>
#include <utility>

#include <QColor>
#include <QFont>
#include <QFontDialog>
#include <QList>
#include <QPair>
#include <QQueue>
#include <QString>
#include <QStringList>

#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearoffprompt.h"

class ScriptedPrompt : public TearOffPrompt {
public:
    struct Asked {
        QWidget* parent;
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton;
    };
    struct SaveAsked {
        QString caption;
        QString dir;
        QString filter;
        QString defaultSuffix;
    };

    QMessageBox::StandardButton Message(QWidget* parent, QMessageBox::Icon, const QString& title,
                                        const QString& text, QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton) override
    {
        asked.append({parent, title, text, buttons, defaultButton});
        if (inTheTurn)
            std::exchange(inTheTurn, nullptr)();
        return answers.isEmpty() ? QMessageBox::Cancel : answers.dequeue();
    }
    // Asked like a message; the button texts are kept beside.
    QMessageBox::StandardButton Choice(QWidget* parent, const QString& title, const QString& text,
                                       const NamedButtons& buttons, QMessageBox::StandardButton defaultButton) override
    {
        QMessageBox::StandardButtons flags;
        QStringList texts;
        for (const auto& named : buttons) {
            flags |= named.first;
            texts.append(named.second);
        }
        buttonTexts.append(texts);
        return Message(parent, QMessageBox::Question, title, text, flags, defaultButton);
    }
    QString SaveFileName(QWidget*, const QString& caption, const QString& dir, const QString& filter,
                         const QString& defaultSuffix) override
    {
        saveAsked.append({caption, dir, filter, defaultSuffix});
        return fileNames.isEmpty() ? QString() : fileNames.dequeue();
    }
    // No answer left: cancelled.
    QColor Color(const QColor& initial, QWidget*, const QString& title) override
    {
        colorAsked.append({initial, title});
        return colors.isEmpty() ? QColor() : colors.dequeue();
    }

    // No answer left: cancelled.
    QFont Font(bool* ok, const QFont& initial, QWidget*, const QString& title,
               QFontDialog::FontDialogOptions options) override
    {
        fontAsked.append({title, options});
        *ok = !fonts.isEmpty();
        return *ok ? fonts.dequeue() : initial;
    }

    QQueue<QMessageBox::StandardButton> answers;
    // Run once, inside the next question before it is answered, as what a
    // question's own loop may carry out meanwhile (a close, say).
    std::function<void()> inTheTurn;
    QQueue<QString> fileNames;
    QQueue<QColor> colors;
    QList<Asked> asked;
    QList<QStringList> buttonTexts;
    QList<SaveAsked> saveAsked;
    QList<QPair<QColor, QString>> colorAsked;
    QQueue<QFont> fonts;
    QList<QPair<QString, QFontDialog::FontDialogOptions>> fontAsked;
};

// Installs a scripted prompt for the lifetime of the guard.
class PromptGuard {
public:
    explicit PromptGuard(TearOffPrompt* prompt) : previous_(TearOffMain::SetPrompt(prompt)) {}
    ~PromptGuard() { TearOffMain::SetPrompt(previous_); }
    PromptGuard(const PromptGuard&) = delete;
    PromptGuard& operator=(const PromptGuard&) = delete;

private:
    TearOffPrompt* previous_;
};
