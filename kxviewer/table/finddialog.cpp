#include "kxviewer/table/finddialog.h"

#include <algorithm>

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QTabWidget>
#include <QTextEdit>
#include <QVBoxLayout>

#include "kxlib/table/kxsearchexpr.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/finddialogtabbyfields.h"
#include "kxviewer/table/finddialogtabexpression.h"
#include "kxviewer/table/guihelpers.h"
#include "kxviewer/table/guiicons.h"
#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/tabtable.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearoffprompt.h"
#include "utils/common/kxexcept.h"

namespace {
constexpr int ButtonsWidth = 112;
constexpr int GridRows = 13;

QPointer<FindDialog>& TheDialog()
{
    static QPointer<FindDialog> dialog;
    return dialog;
}

QColor RgbColor(uint32_t rgb) { return QColor(QRgb(rgb & 0xFFFFFF)); }

QPushButton* AddButton(QGridLayout* grid, const char* text)
{
    auto* button = new QPushButton(QString::fromLatin1(text));
    grid->addWidget(button, grid->rowCount(), 0);
    return button;
}
} // namespace

FindDialog* FindDialog::Instance()
{
    if (!TheDialog() && TearOffMain::Me)
        TheDialog() = new FindDialog(TearOffMain::Me);
    return TheDialog();
}

FindDialog* FindDialog::Existing() { return TheDialog(); }

TabTable* FindDialog::CurrentTab() { return qobject_cast<TabTable*>(TearOffMain::CurrentDock); }

FindDialog::FindDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FindDialog"));
    setWindowTitle(QStringLiteral("Find"));
    setWhatsThis(QStringLiteral("Find Dialog"));
    setFocusPolicy(Qt::StrongFocus);

    Tabs = new QTabWidget(this);
    Basic = new FindDialogTabExpression(this, Tabs);
    Basic->setObjectName(QStringLiteral("Tab1"));
    Tabs->addTab(Basic, QStringLiteral("Basic"));

    auto* buttons = new QGroupBox(this);
    buttons->setObjectName(QStringLiteral("buttons_grp"));
    buttons->setStyleSheet(QStringLiteral("QGroupBox#buttons_grp{border:0}"));
    auto* grid = new QGridLayout(buttons);
    grid->setContentsMargins(0, 19, 0, 0);
    FindNextButton = AddButton(grid, "Find Next");
    FindBackButton = AddButton(grid, "Find Back");
    SelectButton = AddButton(grid, "Select");
    FilterButton = AddButton(grid, "Filter");
    FilterButton->setCheckable(true);
    PinPhraseButton = AddButton(grid, "Pin Phrase");
    BookmarkButton = AddButton(grid, "Bookmark");
    LoadCurrentButton = AddButton(grid, "Load Current");
    HighlightButton = AddButton(grid, " Highlight");
    SelectedButton = AddButton(grid, " Selected");
    const PrefTabTable& defaults = PrefTabTable::Default();
    HighlightButton->setIcon(MakeColorSwatchIcon(RgbColor(defaults.ColorHighlight)));
    SelectedButton->setIcon(MakeColorSwatchIcon(RgbColor(defaults.ColorSelect)));

    auto* settings = new QGroupBox(QStringLiteral("Find settings"), buttons);
    auto* settingsLayout = new QVBoxLayout(settings);
    MatchCaseBox = new QCheckBox(QStringLiteral("Match case"), settings);
    MatchCaseBox->setChecked(defaults.SearchMatchCase != 0);
    settingsLayout->addWidget(MatchCaseBox);
    grid->addWidget(settings, grid->rowCount(), 0);

    CompareMode = new QGroupBox(QStringLiteral("Compare mode"), buttons);
    auto* compareLayout = new QVBoxLayout(CompareMode);
    AndButton = new QRadioButton(QStringLiteral("AND"), CompareMode);
    AndButton->setChecked(true);
    compareLayout->addWidget(AndButton);
    OrButton = new QRadioButton(QStringLiteral("OR"), CompareMode);
    compareLayout->addWidget(OrButton);
    grid->addWidget(CompareMode, grid->rowCount(), 0);
    grid->setRowStretch(grid->rowCount(), 1);
    QPushButton* close = AddButton(grid, "Close");
    // As wide as the system font needs for "Match case" and the swatches.
    buttons->setFixedWidth(std::max(ButtonsWidth, buttons->sizeHint().width()));

    // The rows follow the columns of the tab current now.
    ByFields = new FindDialogTabByFields(this, Tabs);
    ByFields->setObjectName(QStringLiteral("Tab2"));
    Tabs->addTab(ByFields, QStringLiteral("By Fields"));

    auto* layout = new QGridLayout(this);
    layout->addWidget(Tabs, 0, 0, GridRows, 4);
    layout->addWidget(buttons, 0, 5, GridRows, 3);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Enter in the editor never presses a button.
    for (QPushButton* button : findChildren<QPushButton*>()) {
        button->setDefault(false);
        button->setAutoDefault(false);
    }

    connect(FindNextButton, &QPushButton::clicked, this, &FindDialog::PressedFindNext);
    connect(FindBackButton, &QPushButton::clicked, this, &FindDialog::PressedFindBack);
    connect(SelectButton, &QPushButton::clicked, this, &FindDialog::PressedSelect);
    connect(FilterButton, &QPushButton::clicked, this, &FindDialog::PressedFilter);
    connect(PinPhraseButton, &QPushButton::clicked, this, &FindDialog::PressedPinPhrase);
    connect(BookmarkButton, &QPushButton::clicked, this, &FindDialog::PressedBookmark);
    connect(LoadCurrentButton, &QPushButton::clicked, this, &FindDialog::PressedLoadRow);
    connect(HighlightButton, &QPushButton::clicked, ByFields, &FindDialogTabByFields::ChangeSomeColors);
    connect(SelectedButton, &QPushButton::clicked, ByFields, &FindDialogTabByFields::ChangeSomeColors);
    connect(MatchCaseBox, &QCheckBox::stateChanged, this, &FindDialog::PressedMatchCaseChkbox);
    connect(close, &QPushButton::clicked, this, &FindDialog::close);
    connect(Tabs, &QTabWidget::currentChanged, this, &FindDialog::FindTabChangedSlot);
    InitFromCurrentTab();
}

QGroupBox* FindDialog::TitleRow(QWidget* page, QPushButton** clear)
{
    auto* row = new QGroupBox(page);
    row->setStyleSheet(QStringLiteral("QGroupBox{border:0}"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* menu = new QPushButton(QStringLiteral("History"), row);
    menu->setObjectName(QStringLiteral("MenuDown"));
    menu->setIcon(style()->standardIcon(QStyle::SP_ArrowDown));
    menu->setToolTip(QStringLiteral("Expressions searched for before"));
    connect(menu, &QPushButton::clicked, this, &FindDialog::onTabMenuButton);
    *clear = new QPushButton(QStringLiteral("Clear"), row);
    (*clear)->setObjectName(QStringLiteral("ClearPage"));
    (*clear)->setToolTip(QStringLiteral("Clear the page"));
    layout->addWidget(menu);
    layout->addStretch();
    layout->addWidget(*clear);
    return row;
}

bool FindDialog::AndMode() const { return AndButton->isChecked(); }

bool FindDialog::MatchCase() const { return MatchCaseBox->isChecked(); }

void FindDialog::InitFromCurrentTab()
{
    MatchCaseBox->setChecked(PrefTabTable::Default().SearchMatchCase != 0);
    TabTable* tab = CurrentTab();
    if (tab && tab->FindCombo && tab->FindCombo->count() > 0) {
        const QString text = tab->FindCombo->currentText();
        Basic->Editor->setPlainText(text);
        const int index = tab->FindCombo->currentIndex();
        const std::vector<SearchHistoryItem>& history = PrefGlobal::SearchHistory;
        if (index >= 0 && size_t(index) < history.size() && !text.isEmpty()) {
            Basic->Complex->setChecked(history[size_t(index)].mode == SEARCH_MODE_COMPLEX);
            MatchCaseBox->setChecked(history[size_t(index)].matchCase);
        }
    }
    SetColorIcons(tab);
    // The page shown takes the tab's search.
    if (Tabs->currentIndex() == PAGE_FIELDS)
        FindTabChangedSlot(PAGE_FIELDS);
    else
        CompareMode->setEnabled(false);
    Basic->Editor->setFocus();
    Basic->Editor->selectAll();
}

void FindDialog::Preset(const QString& text, uint8_t matchCase)
{
    Tabs->setCurrentIndex(PAGE_BASIC);
    Basic->Editor->setPlainText(text);
    Basic->Complex->setChecked(true);
    MatchCaseBox->setChecked(matchCase != 0);
    CompareMode->setEnabled(false);
    SetColorIcons(CurrentTab());
    Basic->Editor->setFocus();
    Basic->Editor->selectAll();
}

void FindDialog::SetColorIcons(TabBase* tab)
{
    if (!tab)
        tab = CurrentTab();
    if (!tab)
        return;
    HighlightButton->setIcon(MakeColorSwatchIcon(RgbColor(tab->Prefs.ColorHighlight)));
    SelectedButton->setIcon(MakeColorSwatchIcon(RgbColor(tab->Prefs.ColorSelect)));
    const QSignalBlocker blocker(FilterButton);
    FilterButton->setChecked(tab->Table->FilterOn);
}

bool FindDialog::ApplyComplex(TabBase* tab, const QString& text)
{
    const uint32_t mode =
        Tabs->currentIndex() == PAGE_BASIC && !Basic->Complex->isChecked() ? SEARCH_MODE_SIMPLE : SEARCH_MODE_COMPLEX;
    if (tab->SetSearchExpression(text, MatchCase() ? 1 : 0, mode))
        return true;
    // What the find line would say of the same text; a text too long was
    // named as it was refused.
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        KxvShell().ShowStatus(QStringLiteral("Search expression is empty"), true);
    else if (trimmed.toLocal8Bit().size() >= KxSearchExpression::TEXT_SIZE)
        return false;
    else if (tab->Table->SearchMode() == SEARCH_MODE_NONE)
        ReportIncorrect(tab);
    else
        Warn(QStringLiteral("Error in complex expression!"));
    return false;
}

void FindDialog::ReportIncorrect(TabBase* tab)
{
    tab->ReportIncorrectExpression();
    const QString text = QStringLiteral("Incorrect search expression");
    const QString reason = QString::fromLocal8Bit(tab->Table->SearchError().c_str());
    Warn(reason.isEmpty() ? text : text + QLatin1Char('\n') + reason);
}

void FindDialog::Warn(const QString& text)
{
    // Over the dialog, which would hide a box of the main window.
    TearOffMain::Prompt().Message(this, QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok,
                                  QMessageBox::NoButton);
}

bool FindDialog::ApplyExpression(TabBase* tab)
{
    if (Tabs->currentIndex() == PAGE_BASIC)
        return ApplyComplex(tab, Basic->Editor->toPlainText());
    bool ok = true;
    const QString text = ByFields->MakeFindStringFromFileds(&ok);
    return ok && ApplyComplex(tab, text);
}

TabTable* FindDialog::AppliedTab()
{
    TabTable* tab = CurrentTab();
    return tab && ApplyExpression(tab) ? tab : nullptr;
}

void FindDialog::PressedFindNext()
{
    if (TabTable* tab = AppliedTab())
        tab->SearchNext();
}

void FindDialog::PressedFindBack()
{
    if (TabTable* tab = AppliedTab())
        tab->SearchBack();
}

void FindDialog::PressedSelect()
{
    TabTable* tab = AppliedTab();
    if (!tab)
        return;
    if (QAction* select = tab->Actions[TACT_SELECT])
        select->setChecked(true);
    tab->SelectByCond();
    tab->SetCurrentPosition(tab->Table->CurRow());
}

void FindDialog::PressedBookmark()
{
    if (TabTable* tab = AppliedTab())
        tab->BookmarkByCond();
}

void FindDialog::PressedPinPhrase()
{
    TabTable* tab = AppliedTab();
    if (!tab || tab->IsFixedHighlight())
        return;
    if (QAction* pin = tab->Actions[TACT_PIN])
        pin->setChecked(true);
    tab->PinPhrase(-1);
}

void FindDialog::PressedFilter(bool checked)
{
    TabTable* tab = CurrentTab();
    if (!tab) {
        const QSignalBlocker blocker(FilterButton);
        FilterButton->setChecked(false);
        return;
    }
    const TabBase::Hold hold(tab);
    if (checked) {
        SetFilter(tab);
    } else if (tab->Table->FilterOn) {
        if (QAction* filter = tab->Actions[TACT_FILTER])
            filter->setChecked(true);
        tab->ClearFilter();
    }
    if (hold.Gone())
        return;
    SetColorIcons(tab);
    tab->setFocus();
    activateWindow();
}

void FindDialog::SetFilter(TabTable* tab)
{
    // Checked and agreed to before the old filter goes: a typo or a No
    // leaves the table as it was.
    if (!ApplyExpression(tab) || !tab->PrepareFilter(false))
        return;
    if (tab->Table->FilterOn) {
        try {
            tab->Table->ClearFilter();
        } catch (const ZmLib::KxExcept& fault) {
            const QString text = QString::fromLocal8Bit(fault.text ? fault.text : "");
            KxvShell().AddToSystemLog(text);
            KxvShell().Information(text, true);
            return;
        }
    }
    if (QAction* filter = tab->Actions[TACT_FILTER])
        filter->setChecked(true);
    tab->FilterByCond();
}

void FindDialog::PressedLoadRow()
{
    TabTable* tab = CurrentTab();
    KxdRecord* record = tab ? tab->Table->FindRecord(tab->Table->CurRow()) : nullptr;
    if (!record)
        return;
    if (Tabs->currentIndex() == PAGE_FIELDS) {
        ByFields->FillFromRecord(record);
        return;
    }
    const QString text = Basic->Editor->toPlainText().trimmed();
    if (!text.isEmpty())
        tab->SetSearchExpression(text, MatchCase() ? 1 : 0,
                                 Basic->Complex->isChecked() ? SEARCH_MODE_COMPLEX : SEARCH_MODE_SIMPLE);
    Basic->Complex->setChecked(true);
    const QString expression = tab->AuxTreeExpression(record);
    if (!expression.isEmpty())
        Basic->Editor->setPlainText(expression);
}

void FindDialog::PressedMatchCaseChkbox(int state)
{
    const uint8_t on = state == Qt::Checked ? 1 : 0;
    if (TabTable* tab = CurrentTab())
        tab->MatchCase = on;
    else
        PrefTabTable::Default().SearchMatchCase = on;
}

void FindDialog::onTabMenuButton()
{
    auto* button = qobject_cast<QPushButton*>(sender());
    QMenu menu(this);
    const std::vector<SearchHistoryItem>& history = PrefGlobal::SearchHistory;
    for (size_t i = 0; i < history.size(); ++i) {
        if (history[i].expression.empty())
            continue;
        QAction* action = menu.addAction(ElideText(QString::fromLocal8Bit(history[i].expression.c_str())));
        action->setData(int(i));
        connect(action, &QAction::triggered, this, &FindDialog::PutStringFromMenu);
    }
    if (menu.isEmpty())
        menu.addAction(QStringLiteral("empty"))->setEnabled(false);
    QWidget* anchor = button ? static_cast<QWidget*>(button) : this;
    menu.exec(anchor->mapToGlobal(anchor->rect().bottomLeft()));
}

void FindDialog::PutStringFromMenu()
{
    auto* action = qobject_cast<QAction*>(sender());
    const std::vector<SearchHistoryItem>& history = PrefGlobal::SearchHistory;
    const int index = action ? action->data().toInt() : -1;
    if (index < 0 || size_t(index) >= history.size())
        return;
    const SearchHistoryItem& item = history[size_t(index)];
    Basic->Editor->setPlainText(QString::fromLocal8Bit(item.expression.c_str()));
    Basic->Complex->setChecked(item.mode == SEARCH_MODE_COMPLEX);
    MatchCaseBox->setChecked(item.matchCase);
    if (Tabs->currentIndex() == PAGE_FIELDS)
        FindTabChangedSlot(PAGE_FIELDS);
    Basic->Editor->setFocus();
    Basic->Editor->moveCursor(QTextCursor::End);
}

void FindDialog::closeEvent(QCloseEvent* event)
{
    event->ignore();
    hide();
}

void FindDialog::changeEvent(QEvent* event)
{
    // The filter may have changed from the tab while the dialog was behind.
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        SetColorIcons(nullptr);
    QDialog::changeEvent(event);
}
