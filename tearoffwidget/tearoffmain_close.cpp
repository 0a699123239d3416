// Closing the docks of a window with the save questions, and the window's
// own close.
#include <QCloseEvent>
#include <QCoreApplication>

#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearoffprompt.h"
#include "tearoffwidget/tearofftabbar.h"
#include "tearoffwidget/tearofftabdock.h"
#include "tearoffwidget/tearofftabwidget.h"
#include "tearoffwidget/tearofftrace.h"

int TearOffMain::AskCloseOne(TearOffTabDock* dock, bool many)
{
    QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    if (many)
        buttons |= QMessageBox::YesToAll | QMessageBox::NoToAll;
    const QString text =
        QStringLiteral("Table \"%1\" was changed.\nDo you want to save it?").arg(dock->windowTitle());
    return Prompt().Question(this, QStringLiteral("Close confirmation"), text, buttons);
}

bool TearOffMain::CloseDocks(QWidget* window, bool saveOnly, bool keepRest)
{
    TEAROFF_TRACE(ZmLib::KX_LEVEL_INFO, "TearOffMain::CloseDocks");
    const QList<TearOffTabBar*> bars = window->findChildren<TearOffTabBar*>();
    int modified = 0;
    for (int i = 2; i < Docks.size(); ++i)
        if (Docks[i]->IsModified())
            modified++;

    int sticky = QMessageBox::NoButton;
    for (TearOffTabBar* bar : bars) {
        const int steps = bar->count();
        int index = 0;
        for (int step = 0; step < steps; ++step) {
            auto* dock = qobject_cast<TearOffTabDock*>(bar->TabWidget->widget(index));
            if (Docks.indexOf(dock) < 2) {
                index++;
                continue;
            }
            const bool isModified = dock->IsModified();
            if (isModified || !dock->CanCloseSilently()) {
                // A failed or cancelled save stops the close there, so that
                // no change is lost.
                if (sticky == QMessageBox::Yes) {
                    if (!dock->SaveOnClose())
                        return false;
                } else if (sticky == QMessageBox::No) {
                    dock->DiscardChanges();
                } else {
                    if (!dock->MayClose())
                        return false;
                    const int answer = isModified ? AskCloseOne(dock, modified >= 2) : QMessageBox::Yes;
                    if (answer == QMessageBox::YesToAll || answer == QMessageBox::NoToAll)
                        sticky = answer == QMessageBox::YesToAll ? QMessageBox::Yes : QMessageBox::No;
                    if (answer == QMessageBox::Yes || answer == QMessageBox::YesToAll) {
                        if (!dock->SaveOnClose())
                            return false;
                    } else if (answer == QMessageBox::No || answer == QMessageBox::NoToAll) {
                        dock->DiscardChanges();
                    } else {
                        return false;
                    }
                }
            }
            if (saveOnly)
                index++;
            else
                bar->DoTabClose(index, false);
        }
    }

    if (!saveOnly && !keepRest) {
        for (TearOffTabBar* bar : window->findChildren<TearOffTabBar*>()) {
            const int count = bar->count();
            for (int i = 0; i < count; ++i)
                bar->DoTabClose(0, false);
        }
    }
    QCoreApplication::processEvents();
    return true;
}

void TearOffMain::closeEvent(QCloseEvent* event)
{
    SaveDocks();
    if (!CloseDocks(this, false, false)) {
        event->ignore();
        return;
    }
    event->accept();
    OnCloseAccepted();
}
