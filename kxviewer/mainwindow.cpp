#include "kxviewer/mainwindow.h"

#include <QApplication>
#include <QDockWidget>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QWhatsThis>

#include "kxviewer/actiontable.h"
#include "kxviewer/helpassistant.h"
#include "kxviewer/kxvchannels.h"
#include "kxviewer/kxvglobals.h"
#include "kxviewer/mainwindowservices.h"
#include "kxviewer/mainwindowtabshell.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/scriptlibraries.h"
#include "kxviewer/scriptspanel.h"
#include "kxviewer/systemlogplaintext.h"
#include "kxviewer/table/guiicons.h"
#include "kxviewer/table/tabbindings.h"
#include "kxviewer/table/tabbase.h"
#include "kxviewer/timeiconarea.h"
#include "kxviewer/windowdrop.h"
#include "tearoffwidget/tearofftabdock.h"

QStatusBar* MainWindow::StatusBar = nullptr;
TearOffTabDock* MainWindow::SystemLogDock = nullptr;
SystemLogPlainText* MainWindow::SystemLogView = nullptr;
TearOffTabDock* MainWindow::DebugDock = nullptr;
QPlainTextEdit* MainWindow::DebugView = nullptr;
QTimer* MainWindow::IdleTimer = nullptr;

MainWindow::MainWindow(QApplication* app) : TearOffMain(app)
{
    CreateActions(this, MainWindowBindings, nullptr);
    CreateDocumentKeys();
    help_ = std::make_unique<HelpAssistant>();
    LoadSharedPixmaps();

    setWhatsThis(QStringLiteral("index.html"));
    app->installEventFilter(this);
    new WindowDrop(this);
    setMouseTracking(true);
    const int iconSide = PrefGlobal::LargeIcons ? 32 : 16;
    setIconSize(QSize(iconSide, iconSide));

    StatusBar = statusBar();
    IdleTimer = new QTimer();
    IdleTimer->start(IDLE_INTERVAL_MS);

    CreateMenus();
    UpdateRecentFileActions();
    CreateToolbars();
    ShowReady();
    CreateSystemDocks();
    libraries_ = std::make_unique<ScriptLibraries>(this);
    scripts_ = std::make_unique<ScriptsPanel>(this);

    setContextMenuPolicy(Qt::CustomContextMenu);
    Connect(this, SIGNAL(customContextMenuRequested(QPoint)), this, SLOT(CustomMainMenuRequested(QPoint)));
    Connect(this, SIGNAL(SignalInformation(const char*)), this, SLOT(OnSignalInformation(const char*)));

    // Three quarters of the screen unless the saved layout has a usable
    // window rectangle.
    if (QScreen* screen = QGuiApplication::primaryScreen())
        resize(screen->availableSize() * 3 / 4);
    RestoreDocks(true);
    SetTabActive(SystemLogDock, false);

    // The window is not shown yet: a secondary window left without a panel
    // is marked rather than hidden.
    SystemLogDock->ShowOrHide(PrefGlobal::PanelSystemLog, true);
    DebugDock->ShowOrHide(PrefGlobal::PanelDebug, true);
    if (property("MAX").toBool())
        showMaximized();
    else
        show();

    services_ = std::make_unique<MainWindowServices>(this);
    KxvSetShell(services_.get());
    tabShell_ = std::make_unique<MainWindowTabShell>();
    KxvSetTabShell(tabShell_.get());
    setMenuBar(menuBar_);
}

MainWindow::~MainWindow()
{
    if (&KxvShell() == services_.get())
        KxvSetShell(nullptr);
    if (&KxvTabShell() == tabShell_.get())
        KxvSetTabShell(nullptr);
    DeleteActions();
    KxvGlobals::CopyInformation.Clear();
    delete IdleTimer;
    IdleTimer = nullptr;
    OnCloseAccepted();
}

MainWindow* MainWindow::Instance() { return qobject_cast<MainWindow*>(TearOffMain::Me); }

bool MainWindow::Connect(const QObject* sender, const char* signal, const QObject* receiver, const char* method)
{
    if (QObject::connect(sender, signal, receiver, method))
        return true;
    KX_ERROR(KxvGuiChannel, "connect failed: %s -> %s", signal + 1, method + 1);
    return false;
}

void MainWindow::CreateSystemDocks()
{
    const QFont& logFont = PrefGlobal::Fonts[FONT_SYSTEM_LOG];

    SystemLogDock = new TearOffTabDock(this);
    SystemLogDock->setWindowTitle(QStringLiteral("System Log"));
    SystemLogDock->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Minimum);
    SystemLogDock->setMinimumHeight(100);
    SystemLogView = new SystemLogPlainText(SystemLogDock);
    SystemLogView->setFrameShape(QFrame::NoFrame);
    SystemLogView->setReadOnly(true);
    SystemLogView->setFont(logFont);
    SystemLogView->setContextMenuPolicy(Qt::CustomContextMenu);
    SystemLogView->Gutter()->setContextMenuPolicy(Qt::CustomContextMenu);
    Connect(SystemLogView, SIGNAL(customContextMenuRequested(QPoint)), this,
            SLOT(SystemLogCustomMenuRequested(QPoint)));
    Connect(SystemLogView->Gutter(), SIGNAL(customContextMenuRequested(QPoint)), this,
            SLOT(SystemLogCustomMenuRequested(QPoint)));
    SystemLogDock->setCentralWidget(SystemLogView);

    DebugDock = new TearOffTabDock(this);
    DebugDock->setWindowTitle(QStringLiteral("Debug"));
    DebugView = new QPlainTextEdit(DebugDock);
    DebugView->setFrameShape(QFrame::NoFrame);
    DebugView->setReadOnly(true);
    DebugView->setFont(logFont);
    DebugView->setLineWrapMode(QPlainTextEdit::NoWrap);
    DebugView->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Minimum);
    DebugView->setMinimumHeight(100);
    DebugView->setContextMenuPolicy(Qt::CustomContextMenu);
    Connect(DebugView, SIGNAL(customContextMenuRequested(QPoint)), this,
            SLOT(DebugWidgetCustomMenuRequested(QPoint)));
    DebugDock->setCentralWidget(DebugView);

    Connect(SystemLogDock, SIGNAL(CallShowOrHide(bool)), this, SLOT(OnShowOrHide(bool)));
    Connect(DebugDock, SIGNAL(CallShowOrHide(bool)), this, SLOT(OnShowOrHide(bool)));
}

void MainWindow::CreateDocumentKeys()
{
    // A document's own actions carry no keys, so that two documents never
    // share one; the window's twin carries it. A keyed document command
    // the window has no command of its own for gets a twin here that works
    // the current document's action.
    for (const ComActionBinding* binding = TabBaseBindings; binding->id >= 0; ++binding) {
        const int32_t id = binding->id;
        if (Actions[id] != nullptr || ComActionFactory::KeyOf(ActionDescriptor(id).key).isEmpty())
            continue;
        QAction* twin = ComActionFactory::CreateAction(id, this, true);
        Actions[id] = twin;
        connect(twin, &QAction::triggered, this, [this, id] {
            TabBase* tab = CurrentTabBase();
            QAction* own = tab != nullptr ? tab->Actions[id] : nullptr;
            if (own != nullptr && own->isEnabled())
                own->trigger();
        });
    }
}

bool MainWindow::IsSystemDockCurrent() const
{
    return CurrentDock != nullptr && (CurrentDock == SystemLogDock || CurrentDock == DebugDock);
}

void MainWindow::OnCloseAccepted()
{
    SystemLogDock = nullptr;
    StatusBar = nullptr;
    DebugDock = nullptr;
    DebugView = nullptr;
    SystemLogView = nullptr;
}

bool MainWindow::eventFilter(QObject* object, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::WhatsThis && ShowWhatsThisHelp(object))
        return true;
    if (type == QEvent::MouseButtonRelease && QWhatsThis::inWhatsThisMode() &&
        ShowMenuEntryHelp(object, *static_cast<QMouseEvent*>(event)))
        return true;
    // The focus may never have left a document while a panel's tab was
    // made current: a click into the document makes it current again.
    if (type == QEvent::MouseButtonPress && object->isWidgetType())
        SetTabActiveAt(static_cast<QWidget*>(object));
    if ((type == QEvent::KeyPress || type == QEvent::KeyRelease) && IsOwnWidget(object)) {
        auto* key = static_cast<QKeyEvent*>(event);
        // A key event reaches the focus widget first and then each parent in
        // turn; it is taken at the first so that the command runs once.
        if (type == QEvent::KeyRelease && key->key() == Qt::Key_F10) {
            MainMenuShowHide();
            SetTabActive(CurrentDock, false);
            return true;
        }
        // Ctrl+G is taken on the press: a quick hand often lets go of Ctrl
        // before G, and then the release of G carries no Ctrl.
        if (type == QEvent::KeyPress && key->key() == Qt::Key_G && (key->modifiers() & Qt::ControlModifier)) {
            TabBase* tab = CurrentTabBase();
            if (tab != nullptr && tab->GoToEdit != nullptr)
                tab->GoToEdit->setFocus(Qt::ShortcutFocusReason);
            return true;
        }
    }
    return TearOffMain::eventFilter(object, event);
}

bool MainWindow::IsOwnWidget(const QObject* object) const
{
    if (!object->isWidgetType())
        return false;
    // Documents also live in floating tab groups and other windows of their
    // own below this one; dialogs and menus keep their keys.
    for (auto* widget = static_cast<const QWidget*>(object); widget != nullptr; widget = widget->parentWidget()) {
        if (widget == this)
            return true;
        if (widget->isWindow() && !qobject_cast<const QDockWidget*>(widget) &&
            !qobject_cast<const QMainWindow*>(widget))
            return false;
    }
    return false;
}
