#include "kxviewer/treeeditdelegate.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QTreeWidget>

#include "kxviewer/importdialog.h"

TreeEditDelegate::TreeEditDelegate(ImportDialog* dialog) : QStyledItemDelegate(dialog), dialog_(dialog) {}

QWidget* TreeEditDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const
{
    const int32_t format = index.sibling(index.row(), 0).data(Qt::UserRole).toInt();
    if (index.column() == 0 || (index.column() == 1 && format < PredefinedFormatCount))
        return nullptr;
    // A sub-template's extension is its main format's.
    if (index.column() == 2 && index.parent().isValid())
        return nullptr;
    auto* editor = new QLineEdit(parent);
    editor->setProperty("Row", index.row());
    editor->setProperty("Col", index.column());
    editor->setProperty("Format", format);
    QString old = index.data().toString();
    if (index.column() == 1)
        old = old.trimmed();
    editor->setProperty("Old_Text", old);
    editor->installEventFilter(const_cast<TreeEditDelegate*>(this));
    connect(editor, &QLineEdit::editingFinished, this, &TreeEditDelegate::EditingFieldFinished);
    connect(editor, &QLineEdit::textEdited, this, &TreeEditDelegate::DelegateFieldTextEdited);
    if (dialog_->NewFormatIndex < 0) {
        editor->setText(old);
        Check(editor);
    }
    return editor;
}

bool TreeEditDelegate::Check(QLineEdit* editor) const
{
    const int kind = editor->property("Col").toInt() == 1 ? ImportFormatChecks::CHECK_NAME
                                                         : ImportFormatChecks::CHECK_EXTENSION;
    const bool problem = ImportDialog::CheckNameAndExtension(editor->text().toLocal8Bit().toStdString(),
                                                             editor->property("Format").toInt(), kind);
    editor->setStyleSheet(problem ? QStringLiteral("border: 1px solid red") : QStringLiteral("border:0 solid red"));
    return !problem;
}

void TreeEditDelegate::Release(QLineEdit* editor)
{
    editor->releaseMouse();
    editor->releaseKeyboard();
}

void TreeEditDelegate::DelegateFieldTextEdited(const QString&)
{
    auto* editor = qobject_cast<QLineEdit*>(sender());
    if (editor == nullptr)
        return;
    ImportFormatsModified = true;
    // A refused text may not be left; the grab goes when the editor or the
    // dialog hides.
    if (Check(editor)) {
        Release(editor);
    } else if (editor->isVisible()) {
        editor->grabMouse();
        editor->grabKeyboard();
    }
}

void TreeEditDelegate::EditingFieldFinished()
{
    auto* editor = qobject_cast<QLineEdit*>(sender());
    if (editor != nullptr && dialog_->NewFormatIndex < 0)
        Check(editor);
}

bool TreeEditDelegate::eventFilter(QObject* object, QEvent* event)
{
    auto* editor = qobject_cast<QLineEdit*>(object);
    if (editor == nullptr)
        return QStyledItemDelegate::eventFilter(object, event);
    if (event->type() == QEvent::Hide) {
        Release(editor);
        return false;
    }
    if (event->type() == QEvent::FocusOut)
        return true;
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    const QString old = editor->property("Old_Text").toString();
    if (key == Qt::Key_Escape) {
        if (editor->text().isEmpty() && old.isEmpty() && dialog_->NewFormatIndex >= 0 &&
            editor->property("Col").toInt() == 1) {
            Release(editor);
            emit closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
            dialog_->DropNewFormat();
            return true;
        }
        const QString typed = editor->text();
        editor->setText(old);
        if (Check(editor)) {
            Release(editor);
            emit closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
        } else {
            editor->setText(typed);
            Check(editor);
        }
        return true;
    }
    if (key != Qt::Key_Tab && key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Up &&
        key != Qt::Key_Down)
        return false;
    if (!Check(editor)) {
        editor->selectAll();
        return true;
    }
    Release(editor);
    emit commitData(editor);
    emit closeEditor(editor, QAbstractItemDelegate::NoHint);
    dialog_->FinishNaming();
    return true;
}
