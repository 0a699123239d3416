// Closing the docks of a window with the save questions, and the window's
// own close.
#include <QCloseEvent>
#include <QCoreApplication>
#include <QList>
#include <QPair>
#include <QPointer>

#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearoffprompt.h"
#include "tearoffwidget/tearofftabbar.h"
#include "tearoffwidget/tearofftabdock.h"
#include "tearoffwidget/tearofftabwidget.h"
#include "tearoffwidget/tearofftrace.h"

int TearOffMain::AskCloseOne(QWidget* parent, TearOffTabDock* dock, bool many)
{
    QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    if (many)
        buttons |= QMessageBox::YesToAll | QMessageBox::NoToAll;
    const QString text =
        QStringLiteral("Table \"%1\" was changed.\nDo you want to save it?").arg(dock->DocumentName());
    return Prompt().Question(parent, QStringLiteral("Close confirmation"), text, buttons);
}

bool TearOffMain::CloseDocks(QWidget* window, bool saveOnly, bool keepRest, bool saveLayout)
{
    TEAROFF_TRACE(ZmLib::KX_LEVEL_INFO, "TearOffMain::CloseDocks");
    int modified = 0;
    for (int i = 2; i < Docks.size(); ++i)
        if (Docks[i]->IsModified())
            modified++;

    // Every question is answered before anything is saved, discarded or
    // closed, so that a Cancel or a refusal at any of them leaves every
    // document as it was.
    enum class Step { Close, Save, Discard };
    QList<QPair<QPointer<TearOffTabDock>, Step>> plan;
    int sticky = QMessageBox::NoButton;
    for (TearOffTabBar* bar : window->findChildren<TearOffTabBar*>()) {
        for (int index = 0; index < bar->count(); ++index) {
            auto* dock = qobject_cast<TearOffTabDock*>(bar->TabWidget->widget(index));
            if (Docks.indexOf(dock) < 2)
                continue;
            const bool isModified = dock->IsModified();
            Step step = Step::Close;
            if (sticky != QMessageBox::NoButton) {
                if (isModified || !dock->CanCloseSilently())
                    step = sticky == QMessageBox::Yes ? Step::Save : Step::Discard;
            } else if (isModified || !dock->CanCloseSilently()) {
                if (!dock->MayClose())
                    return false;
                const int answer = isModified ? AskCloseOne(this, dock, modified >= 2) : QMessageBox::Yes;
                if (answer == QMessageBox::YesToAll || answer == QMessageBox::NoToAll)
                    sticky = answer == QMessageBox::YesToAll ? QMessageBox::Yes : QMessageBox::No;
                if (answer == QMessageBox::Yes || answer == QMessageBox::YesToAll)
                    step = Step::Save;
                else if (answer == QMessageBox::No || answer == QMessageBox::NoToAll)
                    step = Step::Discard;
                else
                    return false;
            }
            plan.append({dock, step});
        }
    }

    // The saves come first: a failed or cancelled one stops the close there,
    // with every document still open and nothing discarded, so that no
    // change is lost.
    for (const auto& [dock, step] : plan) {
        // A save may run the event loop, in which a dock can go.
        if (!dock.isNull() && step == Step::Save && !dock->SaveOnClose())
            return false;
    }
    if (saveLayout)
        SaveDocks();
    for (const auto& [dock, step] : plan) {
        if (dock.isNull())
            continue;
        if (step == Step::Discard)
            dock->DiscardChanges();
        if (!saveOnly)
            dock->TabWidget->TabBar->DoTabClose(dock->TabWidget->indexOf(dock), false);
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
    // The layout is written once every document is saved or let go, so that
    // the next session opens the files they were saved to; a cancelled
    // close leaves the last layout written.
    if (!CloseDocks(this, false, false, true)) {
        event->ignore();
        return;
    }
    event->accept();
    OnCloseAccepted();
}
