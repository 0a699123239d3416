#include "kxviewer/kxvdebugsinks.h"

#include <QApplication>
#include <QByteArray>
#include <QThread>

#include "kxviewer/mainwindow.h"
#include "tearoffwidget/tearoffprompt.h"
#include "utils/kx/kxsinks.h"

namespace {

ZmLib::KxvOutputHook g_debuggerOutput = nullptr;
ZmLib::KxvOutputHook g_fallbackBox = nullptr;

bool OnGuiThread()
{
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr &&
           QThread::currentThread() == QCoreApplication::instance()->thread();
}

void ShowErrorBox(const QString& text)
{
    TearOffMain::Prompt().Message(TearOffMain::Me, QMessageBox::Critical, QStringLiteral("KxViewer Error"), text,
                                  QMessageBox::Ok, QMessageBox::NoButton);
}

void DebugOutputSink(const char* text)
{
    g_debuggerOutput(text);
    MainWindow* window = MainWindow::Instance();
    if (window == nullptr)
        return;
    if (OnGuiThread()) {
        emit window->SignalAddStringToDebugPanel(text);
        return;
    }
    // The text lives in a ring buffer that other threads reuse: queue a copy.
    const QByteArray line(text);
    QMetaObject::invokeMethod(
        window, [window, line] { emit window->SignalAddStringToDebugPanel(line.constData()); },
        Qt::QueuedConnection);
}

void ErrorBoxSink(const char* text)
{
    if (OnGuiThread()) {
        ShowErrorBox(QString::fromLocal8Bit(text));
        return;
    }
    QCoreApplication* app = QCoreApplication::instance();
    if (qobject_cast<QApplication*>(app) == nullptr) {
        g_fallbackBox(text);
        return;
    }
    const QString message = QString::fromLocal8Bit(text);
    QMetaObject::invokeMethod(app, [message] { ShowErrorBox(message); }, Qt::QueuedConnection);
}

} // namespace

void KxvInstallDebugSinks()
{
    // The hooks in place stay the debugger output and the box of last resort
    // before a GUI application exists.
    g_debuggerOutput = ZmLib::KxvSetDebugOutputHook(&DebugOutputSink);
    g_fallbackBox = ZmLib::KxvSetErrorBoxHook(&ErrorBoxSink);
}

void KxvRemoveDebugSinks()
{
    ZmLib::KxvSetDebugOutputHook(g_debuggerOutput);
    ZmLib::KxvSetErrorBoxHook(g_fallbackBox);
}
