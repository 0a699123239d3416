// In-place editing of format names and extensions in the import-format
// editor's tree: a refused text keeps its editor open, framed in red, with
// mouse and keyboard held until it passes or Escape restores the old one.
#pragma once

#include <QStyledItemDelegate>

class ImportDialog;
class QLineEdit;

class TreeEditDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit TreeEditDelegate(ImportDialog* dialog);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    bool eventFilter(QObject* object, QEvent* event) override;

public slots:
    void DelegateFieldTextEdited(const QString& text);
    void EditingFieldFinished();

private:
    // Frames the editor by the check of its text; true when it passes.
    bool Check(QLineEdit* editor) const;
    static void Release(QLineEdit* editor);

    ImportDialog* dialog_;
};
