// The one seam through which the program's modal interactions pass:
// message boxes, questions, file, colour and input dialogs, and the running
// of its own dialogs. The default shows the real Qt dialogs; tests install
// an answerer that returns scripted results without a display.
#pragma once

#include <QColor>
#include <QFont>
#include <QFontDialog>
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

class QDialog;
class QWidget;

class TearOffPrompt {
public:
    TearOffPrompt() = default;
    virtual ~TearOffPrompt() = default;
    TearOffPrompt(const TearOffPrompt&) = delete;
    TearOffPrompt& operator=(const TearOffPrompt&) = delete;

    // A message box of the given icon (information, warning, critical or
    // question) with the buttons; returns the button pressed.
    virtual QMessageBox::StandardButton Message(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                                const QString& text, QMessageBox::StandardButtons buttons,
                                                QMessageBox::StandardButton defaultButton);
    // A question whose buttons carry texts of their own, in order; returns
    // the button pressed (Cancel when the box is closed otherwise).
    using NamedButtons = std::vector<std::pair<QMessageBox::StandardButton, QString>>;
    virtual QMessageBox::StandardButton Choice(QWidget* parent, const QString& title, const QString& text,
                                               const NamedButtons& buttons, QMessageBox::StandardButton defaultButton);
    // The save dialog adds defaultSuffix itself (when not empty) before it
    // asks whether to overwrite, so the question sees the real name. A null
    // text when cancelled.
    virtual QString SaveFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter,
                                 const QString& defaultSuffix);
    virtual QString OpenFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter);
    virtual QStringList OpenFileNames(QWidget* parent, const QString& caption, const QString& dir,
                                      const QString& filter);
    // Links in the chosen path are kept as the user picked them.
    virtual QString ExistingDirectory(QWidget* parent, const QString& caption, const QString& dir);
    // An invalid colour when cancelled.
    virtual QColor Color(const QColor& initial, QWidget* parent, const QString& title);
    // *ok false when cancelled; options limit the fonts listed (monospaced or
    // scalable ones).
    virtual QFont Font(bool* ok, const QFont& initial, QWidget* parent, const QString& title,
                       QFontDialog::FontDialogOptions options);
    // *ok false when cancelled.
    virtual QString Text(QWidget* parent, const QString& title, const QString& label, const QString& text, bool* ok);
    virtual int Integer(QWidget* parent, const QString& title, const QString& label, int value, int minimum,
                        int maximum, bool* ok);
    // Runs one of the program's own dialogs modally; returns its result
    // code (QDialog::Accepted or Rejected, or the dialog's own).
    virtual int Exec(QDialog* dialog);

    // Shorthand for a question of the given buttons.
    QMessageBox::StandardButton Question(QWidget* parent, const QString& title, const QString& text,
                                         QMessageBox::StandardButtons buttons,
                                         QMessageBox::StandardButton defaultButton = QMessageBox::NoButton)
    {
        return Message(parent, QMessageBox::Question, title, text, buttons, defaultButton);
    }
};
