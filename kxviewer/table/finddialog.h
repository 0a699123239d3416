// The find dialog: one modeless dialog per main window in which a search
// expression is composed, on the "Basic" page as text or on the "By Fields"
// page as one row per column, and applied to the current table tab: find
// next or back, select, filter, bookmark or pin the matches, or load an
// expression from the current record.
#pragma once

#include <cstdint>

#include <QDialog>

class FindDialogTabByFields;
class FindDialogTabExpression;
class QCheckBox;
class QGroupBox;
class QPushButton;
class QRadioButton;
class QTabWidget;
class TabBase;
class TabTable;

class FindDialog : public QDialog {
    Q_OBJECT

public:
    static constexpr int32_t PAGE_BASIC = 0;
    static constexpr int32_t PAGE_FIELDS = 1;

    // The main window's dialog, made on the first call (null without a main
    // window); it lives as long as the main window.
    static FindDialog* Instance();
    // The dialog when it was made, else null.
    static FindDialog* Existing();
    // The main window's current table tab; null when none is current.
    static TabTable* CurrentTab();

    explicit FindDialog(QWidget* parent);

    // The title row of a page: the history menu's button and a clear button
    // (*clear) for the page to connect.
    QGroupBox* TitleRow(QWidget* page, QPushButton** clear);

    // The dialog set to the current tab's search.
    void InitFromCurrentTab();
    // The editor given a text as an expression, on the "Basic" page.
    void Preset(const QString& text, uint8_t matchCase);
    // Swatches of the tab's highlight and selection colours (null: the
    // current table tab; none, nothing changes); "Filter" shows whether
    // its table is filtered.
    void SetColorIcons(TabBase* tab = nullptr);
    // The page's expression made the tab's search expression; false, the
    // user told, when there is none or it cannot be used.
    bool ApplyExpression(TabBase* tab);
    bool AndMode() const;
    bool MatchCase() const;

    QTabWidget* Tabs = nullptr;
    FindDialogTabExpression* Basic = nullptr;
    FindDialogTabByFields* ByFields = nullptr;
    QGroupBox* CompareMode = nullptr;
    QPushButton* FindNextButton = nullptr;
    QPushButton* FindBackButton = nullptr;
    QPushButton* PinPhraseButton = nullptr;
    QPushButton* SelectButton = nullptr;
    QPushButton* FilterButton = nullptr;
    QPushButton* BookmarkButton = nullptr;
    QPushButton* LoadCurrentButton = nullptr;
    QPushButton* HighlightButton = nullptr;
    QPushButton* SelectedButton = nullptr;
    QCheckBox* MatchCaseBox = nullptr;
    QRadioButton* AndButton = nullptr;
    QRadioButton* OrButton = nullptr;
    QPushButton* MenuButton = nullptr;

public slots:
    void PressedSelect();
    void PressedFilter(bool checked);
    void PressedLoadRow();
    void PressedPinPhrase();
    void PressedFindBack();
    void PressedFindNext();
    void PressedBookmark();
    void PressedMatchCaseChkbox(int state);
    void FindTabChangedSlot(int page);
    void onTabMenuButton();
    void PutStringFromMenu();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // The current table tab with the page's expression applied; null when
    // there is none or the expression failed.
    TabTable* AppliedTab();
    // The filter replaced by the expression's; the table as it was when
    // the expression fails or the user declines.
    void SetFilter(TabTable* tab);
    // The expression text applied in complex mode; false when refused.
    bool ApplyComplex(TabBase* tab, const QString& text);
    // "Incorrect search expression" with the tab's reason on the status
    // line and in the System Log, and in a box over the dialog.
    void ReportIncorrect(TabBase* tab);
    void Warn(const QString& text);
    // On the "By Fields" page: the rows from the editor's expression.
    void EditorToRows(TabTable* tab);
    // Back on "Basic": the editor from the rows.
    void RowsToEditor();
};
