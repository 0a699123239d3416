#include "tearoffwidget/tearoffprompt.h"

#include <QColorDialog>
#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QPushButton>

QMessageBox::StandardButton TearOffPrompt::Message(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                                   const QString& text, QMessageBox::StandardButtons buttons,
                                                   QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(icon, title, text, buttons, parent);
    box.setDefaultButton(defaultButton);
    const int result = box.exec();
    return box.clickedButton() ? box.standardButton(box.clickedButton()) : QMessageBox::StandardButton(result);
}

QMessageBox::StandardButton TearOffPrompt::Choice(QWidget* parent, const QString& title, const QString& text,
                                                  const NamedButtons& buttons,
                                                  QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parent);
    for (const auto& named : buttons)
        box.addButton(named.first)->setText(named.second);
    box.setDefaultButton(defaultButton);
    box.exec();
    return box.clickedButton() ? box.standardButton(box.clickedButton()) : QMessageBox::Cancel;
}

QString TearOffPrompt::SaveFileName(QWidget* parent, const QString& caption, const QString& dir,
                                    const QString& filter, const QString& defaultSuffix)
{
    QFileDialog dialog(parent, caption, dir, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

QString TearOffPrompt::OpenFileName(QWidget* parent, const QString& caption, const QString& dir,
                                    const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QStringList TearOffPrompt::OpenFileNames(QWidget* parent, const QString& caption, const QString& dir,
                                         const QString& filter)
{
    return QFileDialog::getOpenFileNames(parent, caption, dir, filter);
}

QString TearOffPrompt::ExistingDirectory(QWidget* parent, const QString& caption, const QString& dir)
{
    return QFileDialog::getExistingDirectory(parent, caption, dir,
                                             QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
}

QColor TearOffPrompt::Color(const QColor& initial, QWidget* parent, const QString& title)
{
    return QColorDialog::getColor(initial, parent, title);
}

QFont TearOffPrompt::Font(bool* ok, const QFont& initial, QWidget* parent, const QString& title,
                          QFontDialog::FontDialogOptions options)
{
    return QFontDialog::getFont(ok, initial, parent, title, options);
}

QString TearOffPrompt::Text(QWidget* parent, const QString& title, const QString& label, const QString& text,
                            bool* ok)
{
    return QInputDialog::getText(parent, title, label, QLineEdit::Normal, text, ok);
}

int TearOffPrompt::Integer(QWidget* parent, const QString& title, const QString& label, int value, int minimum,
                           int maximum, bool* ok)
{
    return QInputDialog::getInt(parent, title, label, value, minimum, maximum, 1, ok);
}

int TearOffPrompt::Exec(QDialog* dialog)
{
    return dialog->exec();
}
