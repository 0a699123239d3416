#include "kxviewer/kxvstartup.h"

#include <clocale>

#include <QApplication>
#include <QFile>

#include "kxviewer/actiontable.h"
#include "kxviewer/buildstamp.h"
#include "kxviewer/kxvchannels.h"
#include "kxviewer/kxvdebugsinks.h"
#include "kxviewer/mainwindow.h"
#include "kxviewer/myproxystyle.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/upgrade.h"
#include "kxviewer/table/auxtreeview.h"
#include "kxviewer/table/guiicons.h"
#include "tearoffwidget/resources.h"
#include "utils/kx/pkx.h"
#include "utils/osal/process.h"

namespace {

// The DebugLevel preference's built-in default: until the preferences are
// loaded every channel passes notices and more severe events.
constexpr int32_t DEFAULT_DEBUG_LEVEL = 1;

} // namespace

KxvStartup::KxvStartup(int& argc, char** argv)
{
    KxvInstallDebugSinks();
    ZmLib::PKX::Init(nullptr);
    ZmLib::KX::Init(DEFAULT_DEBUG_LEVEL, true, nullptr, ZmLib::KX_OUT_STD, false);
    KxvRegisterChannels();
    Resources::Init();

    app_ = std::make_unique<QApplication>(argc, argv);
    // printf and strtod keep '.' as the decimal point whatever the locale.
    setlocale(LC_NUMERIC, "C");
    QApplication::setWindowIcon(QIcon(QString::fromLatin1(Resources::GetIconPath("appmain", Resources::IconExt))));
    QCoreApplication::setApplicationName(QString::fromLatin1(APP_NAME));
    QCoreApplication::setOrganizationName(QString::fromLatin1(ORGANISATION));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(VERSION));
    QApplication::setStyle(new MyProxyStyle());
    // Before any window: assistive tools may ask about a view as it is made.
    AuxTreeView::InstallAccessibility();
    ActionTableInit();

    KxvGuiChannel.Emit(0, ZmLib::KXF_PROCESS_START, "PROCESS STARTED:  %s, TID=%lld", ZmLib::PROCESS::Name(),
                       (long long)ZmLib::PROCESS::MainThreadId);
    const QString version = QString::asprintf("%s version: %s, %s", APP_NAME, VERSION, BuildStamp());
    KxvGuiChannel.Emit(0, ZmLib::KXF_VERSION, "%s", version.toLocal8Bit().constData());

    window_ = new MainWindow(app_.get());
    KX_VERIFY(KxvGuiChannel, QObject::connect(window_, SIGNAL(SignalAddStringToDebugPanel(const char*)), window_,
                                              SLOT(AddStringToDebugPanel(const char*))));
    MainWindow::AddToSystemLog(version);
    MainWindow::AddToSystemLog(QStringLiteral("INI-file location: ") +
                               QString::fromStdString(PrefGlobal::IniLocationText()));
    MainWindow::AddToSystemLog(QStringLiteral("Work folder: ") +
                               (PrefGlobal::WorkDir.empty() ? QStringLiteral("none")
                                                            : QFile::decodeName(PrefGlobal::WorkDir.c_str())));
    window_->ShowHeldMessages();
    if (KxvGuiChannel.Passes(ZmLib::KX_LEVEL_NOTICE))
        KxvGuiChannel.Notice(0, "Qt version: %s", QT_VERSION_STR);
    TearOffMain::Me->setWindowTitle(QString::fromLatin1(APP_NAME));
    Upgrade::TellUpgraderFailure();
    window_->RestoreSession();
}

KxvStartup::~KxvStartup()
{
    PrefGlobal::Save();
    delete window_;
    window_ = nullptr;
    FreeSharedPixmaps();
    ZmLib::KX::Done();
    ZmLib::PKX::Done();
    KxvRemoveDebugSinks();
    app_.reset();
}

void KxvStartup::Run()
{
    if (PrefGlobal::AutoUpgrade)
        KxvShell().StartUpdateCheck();
    QApplication::exec();
}
