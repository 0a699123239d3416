// The editor of the import formats: the tree of formats and sub-templates,
// the field rows of the current format, and the buttons that create, copy,
// reorder, delete, test and load formats. It edits ImportFormats in place;
// Ok saves the list, every other way out reloads it from the formats file.
// The main window keeps one, hidden between uses, and reads ChosenFormat
// after it hides.
#pragma once

#include <cstdint>
#include <vector>

#include <QDialog>
#include <QPoint>

#include "kxviewer/importformat.h"

class KxTable;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;
class TreeEditDelegate;
struct PrefTabTable;

class ImportDialog : public QDialog, public ImportFormatChecks, public ImportCheckView {
    Q_OBJECT
public:
    // The chosen format when the user cancelled.
    static constexpr int32_t CHOSEN_NONE = -5;

    explicit ImportDialog(QWidget* parent);
    ~ImportDialog() override;

    // The format to load with once the dialog hides; CHOSEN_NONE after a
    // cancel or discard.
    int32_t ChosenFormat = CHOSEN_NONE;
    // The format created by "Create new" while its name is still typed in
    // the tree; -1 when none.
    int32_t NewFormatIndex = -1;

    void SetTestFile(const QString& path);
    // Refills the tree from ImportFormats with format index selected (the
    // first entry without one) and loads it into the editor.
    void FillFormatTree(int32_t index, int column = 1);
    QTreeWidget* Tree() const { return tree_; }
    QTableWidget* FieldsTable() const { return fields_; }
    // Ends the naming of a new format and loads the tree's current entry.
    void FinishNaming();
    // Escape on an unnamed new format: it goes again.
    void DropNewFormat();

    // Message labels go by their own timer: nothing to clear.
    void ClearProblem() override {}
    void ShowProblem(int32_t index, ImportProblemPlace place) override;

public slots:
    void ShowHelp();
    void OkEdit();
    void CancelEdit();
    void SomeTextEdited(const QString& text);
    void AddNewFieldData();
    void FieldListIndexChanged(int index);
    void FieldExpChanged();
    void CallToolTipByTimer();
    // The "..." menu of a field row; the chosen entry goes into its line.
    void RegMenuButtonPressed();
    void DeleteFieldRow();
    void MoveFieldUp();
    void MoveFieldDown();
    void MoveFieldTop();
    void MoveFieldBottom();
    void TryTestFile();
    void onDelimitersClicked(int id);
    void ChooseFieldSequence();
    void SelectImportFile();
    void LoadFormats();
    void DlmtEditingFinished();
    void JavaExceptionBoxChecked(int state);
    void onTreeItemClicked(QTreeWidgetItem* item, int column);
    void onTreeCurrentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    void onTreeItemChanged(QTreeWidgetItem* item, int column);
    void TreeImportUp();
    void TreeImportDown();
    void TreeAddNewImportData();
    void TreeRemoveImportData();
    void TreeDuplicateImportData();
    void TreeAddSubData(bool copy = false);

protected:
    bool eventFilter(QObject* object, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

public:
    void reject() override;

private:
    void BuildLayout();
    QWidget* BuildFieldButtons();
    QPushButton* AddButton(const QString& text, const char* slot);
    int32_t CurrentFormat() const;
    void LoadFormat(int32_t index);
    void AddFieldRow(int row, const ImportFormatField& field, bool checkBrackets);
    void RefillCombos();
    void RenumberRows();
    void EnableEditor();
    void StoreEditor();
    void StoreEditor(int32_t index);
    bool ValidateAll();
    void CloseEditors();
    // Saves the list; on failure the dialog stays and the list stays
    // modified. True when saved.
    bool SaveAndHide();
    void ReloadAndHide();
    void SwapRows(int a, int b);
    void MarkTree();
    void ShiftVisualAfter(int32_t index);
    // "Move Up" (-1) and "Move Down" (1).
    void MoveEntry(int step);
    // Closes the gap that the deleted format of visual left.
    static void CloseVisualGap(int32_t visual);
    // Names the sub-templates (by their present order) after main.
    void RenameSubTemplates(int32_t main, const std::vector<int32_t>& subs);
    QTreeWidgetItem* ItemOf(int32_t index) const;
    // The records of a try, over this dialog; the table is released after.
    void ShowTestResult(KxTable* table, const PrefTabTable& prefs, const QString& title);

    QTreeWidget* tree_ = nullptr;
    TreeEditDelegate* delegate_ = nullptr;
    QTableWidget* fields_ = nullptr;
    QLineEdit* expression_ = nullptr;
    QLineEdit* testFile_ = nullptr;
    QCheckBox* errorBox_ = nullptr;
    QGroupBox* modeGroup_ = nullptr;
    QButtonGroup* modeButtons_ = nullptr;
    QLineEdit* delimiter_ = nullptr;
    QPushButton* createButton_ = nullptr;
    QPushButton* duplicateButton_ = nullptr;
    QPushButton* addSubButton_ = nullptr;
    QPushButton* upButton_ = nullptr;
    QPushButton* downButton_ = nullptr;
    QPushButton* deleteButton_ = nullptr;
    QPushButton* sequenceButton_ = nullptr;
    QPushButton* tryButton_ = nullptr;
    QWidget* fieldButtons_ = nullptr;
    bool quiet_ = true;
    bool inOrder_ = true;
    bool announce_ = true;
    QPoint messagePoint_;
};
