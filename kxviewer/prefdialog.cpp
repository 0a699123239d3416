#include "kxviewer/prefdialog.h"

#include <algorithm>

#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTextEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "kxlib/table/prefkxtable.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/prefpagecolors.h"
#include "kxviewer/prefpagecolumns.h"
#include "kxviewer/prefpageconnect.h"
#include "kxviewer/prefpagefonts.h"
#include "kxviewer/prefpagegeneral.h"
#include "kxviewer/prefpagetable.h"
#include "kxviewer/preftabtable.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/finddialog.h"
#include "kxviewer/table/finddialogtabexpression.h"
#include "kxviewer/table/tabbase.h"
#include "kxviewer/table/tabtableview.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearofftabdock.h"
#include "tearoffwidget/tearofftabwidget.h"

namespace {

constexpr const char* PageNames[] = {"General", "Table Panel", "Table Columns", "Connection", "Colorizing", "Fonts"};
constexpr int SMALL_ICONS = 16;
constexpr int LARGE_ICONS = 32;
// The page list's widest, unless its titles need more.
constexpr int PAGE_LIST_WIDTH = 160;
// The main window's two permanent panels lead its dock list.
constexpr int SYSTEM_LOG_DOCK = 0;
constexpr int DEBUG_DOCK = 1;
constexpr int FIRST_DOCUMENT_DOCK = 2;

bool IsRaisable(TearOffTabDock* dock) { return dock->isVisible() && dock->TabWidget; }

// Shows or hides one permanent panel when its flag changed; the other one,
// when visible, comes to the front of its group.
void ShowPanel(bool& flag, bool wanted, int panel, int other)
{
    if (flag == wanted)
        return;
    flag = wanted;
    TearOffMain* main = TearOffMain::Me;
    if (!main || main->Docks.size() < FIRST_DOCUMENT_DOCK)
        return;
    main->Docks[panel]->ShowOrHide(wanted, false);
    TearOffTabDock* raised = main->Docks[other];
    if (IsRaisable(raised))
        raised->TabWidget->setCurrentWidget(raised);
}

} // namespace

PrefDialog::PrefDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Preferences"));

    Pages = new QListWidget;
    Pages->setViewMode(QListView::ListMode);
    Pages->setMovement(QListView::Static);
    Pages->setIconSize(QSize(25, 20));
    Pages->setSpacing(1);
    Pages->setContentsMargins(0, 20, 0, 0);

    General = new PrefPageGeneral;
    Table = new PrefPageTable;
    Columns = new PrefPageColumns;
    Connect = new PrefPageConnect;
    Colors = new PrefPageColors;
    Fonts = new PrefPageFonts;
    Stack = new QStackedWidget;
    Stack->setContentsMargins(0, 0, 0, 0);
    Stack->setStyleSheet(QStringLiteral("QStackedWidget {border:1px solid #bdbdbd}"));
    const QList<QWidget*> pages = {General, Table, Columns, Connect, Colors, Fonts};
    for (QWidget* page : pages)
        Stack->addWidget(page);
    connect(Stack, &QStackedWidget::currentChanged, this, &PrefDialog::PageChanged);

    OkButton = new QPushButton(QStringLiteral("Ok"));
    CancelButton = new QPushButton(QStringLiteral("Cancel"));
    ApplyButton = new QPushButton(QStringLiteral("Apply"));
    ApplyButton->setEnabled(false);
    connect(OkButton, &QPushButton::clicked, this, &PrefDialog::Ok);
    connect(ApplyButton, &QPushButton::clicked, this, &PrefDialog::Apply);
    connect(CancelButton, &QPushButton::clicked, this, &PrefDialog::close);

    for (const char* name : PageNames) {
        auto* item = new QListWidgetItem(QString::fromLatin1(name), Pages);
        item->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    }
    connect(Pages, &QListWidget::currentItemChanged, this, &PrefDialog::changePage);
    Pages->setCurrentRow(0);
    // The layout gives the list no more than its minimum, which cut the
    // titles: it is at least as wide as its widest title.
    const QMargins margins = Pages->contentsMargins();
    const int fit = Pages->sizeHintForColumn(0) + 2 * (Pages->spacing() + Pages->frameWidth()) + margins.left() +
                    margins.right();
    Pages->setMinimumWidth(fit);
    Pages->setMaximumWidth(std::max(PAGE_LIST_WIDTH, fit));

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(Pages);
    top->addWidget(Stack, 1);
    layout->addLayout(top);
    layout->addStretch();
    layout->addSpacing(12);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OkButton);
    buttons->addWidget(CancelButton);
    buttons->addWidget(ApplyButton);
    layout->addLayout(buttons);

    // Any press on a page control may change it; labels and frames cannot.
    for (QWidget* page : pages) {
        for (QWidget* child : page->findChildren<QWidget*>()) {
            if (!qobject_cast<QGroupBox*>(child) && !qobject_cast<QLabel*>(child))
                child->installEventFilter(this);
        }
    }
    activateWindow();
}

bool PrefDialog::eventFilter(QObject* object, QEvent* event)
{
    if (!ApplyButton->isEnabled() && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress))
        ApplyButton->setEnabled(true);
    return QDialog::eventFilter(object, event);
}

void PrefDialog::changePage(QListWidgetItem* current, QListWidgetItem* previous)
{
    QListWidgetItem* item = current ? current : previous;
    if (item)
        Stack->setCurrentIndex(Pages->row(item));
}

void PrefDialog::Ok()
{
    ApplyButton->click();
    close();
}

void PrefDialog::PageChanged(int index)
{
    QWidget* page = Stack->widget(index);
    const QList<QWidget*> children = page ? page->findChildren<QWidget*>() : QList<QWidget*>();
    const bool modified =
        std::any_of(children.begin(), children.end(), [](const QWidget* child) { return child->isWindowModified(); });
    if (KxvTearoffChannel.Passes(ZmLib::KX_LEVEL_NOTICE))
        KxvTearoffChannel.Print(0, ZmLib::KX_LEVEL_NOTICE, "PrefDialog::PageChanged", "Is modified %d", int(modified));
}

void PrefDialog::Apply()
{
    PrefTabTable& tab = PrefTabTable::Default();
    tab.TimeRollback = Columns->TimeRollback->isChecked();
    tab.ExportRowNumbColumn = Columns->ExportRowNumbers->isChecked();
    tab.Grid = General->Grid();
    PrefGlobal::LargeIcons = General->LargeIcons->isChecked();

    // Only a changed choice moves the files: without a usable ini folder
    // every Apply would otherwise report the failed move again.
    const bool wantProgramDir = !General->IniHome->isChecked();
    if (General->IniLocation->isEnabled() && wantProgramDir != PrefGlobal::IniInProgramDir)
        General->ShowIniLocation(PrefGlobal::MoveIniFiles(wantProgramDir ? 1 : 0));

    ApplyDebugLevel();
    PrefGlobal::CreateLogFile = General->CreateLogFile->isChecked();
    PrefGlobal::CompareProgramm = General->DiffProgram->text().toLocal8Bit().toStdString();
    PrefGlobal::DefaultSaveDir = General->SaveDir->text().toLocal8Bit().toStdString();
    PrefGlobal::OpenInSavedWindows = General->OpenInSavedWindows->isChecked();
    PrefGlobal::AutoUpgrade = General->AutoUpgrade->isChecked();
    ApplySystemPanels();
    ApplyTablePage();
    ApplyToWindows();
    ApplyConnection();

    PrefGlobal::ColorScheme = Colors->Colors();
    PrefGlobal::CheckColorListPolicy(int32_t(PrefGlobal::ColorScheme.size()));
    PrefGlobal::Save();
    if (PrefGlobal::AutoUpgrade)
        KxvShell().StartUpdateCheck();
    KxvShell().ForgetImportEditor();
    ApplyButton->setEnabled(false);
}

void PrefDialog::ApplyDebugLevel()
{
    const int level = General->DebugLevel(PrefGlobal::DebugLevel);
    if (level == PrefGlobal::DebugLevel)
        return;
    PrefGlobal::DebugLevel = level;
    ZmLib::KX::SetLevelAll(level);
}

void PrefDialog::ApplySystemPanels()
{
    ShowPanel(PrefGlobal::PanelSystemLog, General->SystemLog->isChecked(), SYSTEM_LOG_DOCK, DEBUG_DOCK);
    ShowPanel(PrefGlobal::PanelDebug, General->Debug->isChecked(), DEBUG_DOCK, SYSTEM_LOG_DOCK);
}

void PrefDialog::ApplyTablePage()
{
    for (int i = 0; i < BASE_TOOLBAR_COUNT; ++i)
        PrefGlobal::BaseToolbars[i] = Table->Toolbars[i]->isChecked();
    PrefTabTable& tab = PrefTabTable::Default();
    tab.PanelTree = Table->Outline->isChecked();
    tab.PanelHistory = Table->History->isChecked();
    tab.PanelInfo = Table->Info->isChecked();
    tab.SyncToCurRow = Table->SyncToCurRow->isChecked();
    tab.ExpandNewHistoryItem = Table->ExpandNewHistoryItem->isChecked();
    PrefKxTable::Default().NormalizeTime = Table->NormalizeTime->isChecked();
    tab.InsertFunc = Table->InsertFunc->isChecked();
    tab.IndentText = Table->IndentText->isChecked();
    tab.Colorize = Table->Colorize->isChecked();
    tab.HighlightOn = Table->HighlightOn->isChecked();
    tab.ShowPresErrors = Table->ShowPresErrors->isChecked();
}

// Grid, row numbers, fonts and icon size of the windows already open. Each
// document changes through its own settings, never row by row.
void PrefDialog::ApplyToWindows()
{
    TearOffMain* main = TearOffMain::Me;
    if (!main)
        return;
    const PrefTabTable& defaults = PrefTabTable::Default();
    for (int i = int(main->Docks.size()) - 1; i >= FIRST_DOCUMENT_DOCK; --i) {
        if (auto* tab = qobject_cast<TabBase*>(main->Docks[i])) {
            tab->Prefs.Grid = defaults.Grid;
            tab->Prefs.ExportRowNumbColumn = defaults.ExportRowNumbColumn;
            tab->UpdateBase();
        }
    }
    for (TabTableView* view : main->findChildren<TabTableView*>()) {
        view->verticalHeader()->setFont(PrefGlobal::Fonts[FONT_LINE_NUMBERS]);
        view->setFont(PrefGlobal::Fonts[FONT_TABLE_VIEW]);
        view->RepaintAll();
    }
    for (QTreeWidget* tree : main->findChildren<QTreeWidget*>()) {
        tree->setFont(PrefGlobal::Fonts[FONT_SIDE_PANELS]);
        tree->update();
    }
    for (int panel : {SYSTEM_LOG_DOCK, DEBUG_DOCK}) {
        if (panel < main->Docks.size()) {
            for (QPlainTextEdit* text : main->Docks[panel]->findChildren<QPlainTextEdit*>())
                text->setFont(PrefGlobal::Fonts[FONT_SYSTEM_LOG]);
        }
    }
    if (FindDialog* find = FindDialog::Existing())
        find->Basic->Editor->setFont(PrefGlobal::Fonts[FONT_FIND_DIALOG]);

    const int size = PrefGlobal::LargeIcons ? LARGE_ICONS : SMALL_ICONS;
    main->setIconSize(QSize(size, size));
    main->update();
    for (TearOffTabDock* dock : main->Docks) {
        dock->setIconSize(QSize(size, size));
        dock->update();
    }
}

void PrefDialog::ApplyConnection()
{
    PrefGlobal::FirstPort = Connect->FirstPort->text().toLocal8Bit().toStdString();
    PrefGlobal::SecondPort = Connect->SecondPort->text().toLocal8Bit().toStdString();
    const std::string address = Connect->Address->text().toLocal8Bit().toStdString();
    std::vector<std::string>& known = PrefGlobal::ConnectionIps;
    if (!address.empty() && std::find(known.begin(), known.end(), address) == known.end())
        known.insert(known.begin(), address);
}
