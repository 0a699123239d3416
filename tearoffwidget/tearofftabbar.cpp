#include "tearoffwidget/tearofftabbar.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStyleOptionTab>

#include "tearoffwidget/tabcoverwidget.h"
#include "tearoffwidget/tearoffdockwidget.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearoffprompt.h"
#include "tearoffwidget/tearofftabdock.h"
#include "tearoffwidget/tearofftabwidget.h"
#include "tearoffwidget/tearofftrace.h"

TearOffTabBar::TearOffTabBar(QWidget* parent) : QTabBar(parent)
{
    setObjectName(QStringLiteral("TearOffTabBar"));
}

void TearOffTabBar::onTabCloseRequested(int index)
{
    DoTabClose(index, true);
}

void TearOffTabBar::showContextMenu(const QPoint& point)
{
    if (point.isNull())
        return;
    const int index = tabAt(point);
    if (index < 0)
        return;
    if (auto* dock = qobject_cast<TearOffTabDock*>(TabWidget->widget(index)))
        dock->ShowTabMenu(mapToGlobal(point));
}

void TearOffTabBar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        PressPosition = event->pos();
        PressIndex = tabAt(event->pos());
    }
    if (event->button() != Qt::LeftButton || !(event->modifiers() & Qt::ControlModifier) || !TearOffMain::Me) {
        QTabBar::mousePressEvent(event);
        return;
    }
    auto* dock = qobject_cast<TearOffTabDock*>(TabWidget->widget(PressIndex));
    // A press that marks a tab drags nothing.
    PressIndex = -1;
    if (!dock || dock == TearOffMain::CurrentDock)
        return;
    if (dock->Mode & TearOffTabDock::ModePanel) {
        QTabBar::mouseReleaseEvent(event);
        return;
    }
    TearOffMain::Me->MarkTab(this, TabWidget->indexOf(dock));
}

QPixmap TearOffTabBar::MarkPicture(int index)
{
    const QRect rect = tabRect(index);
    QPixmap picture(rect.size());
    // The tab's own ground depends on the style; the mark paints its own.
    picture.fill(QColor(TabCoverWidget::MarkColor));
    QPainter painter(&picture);
    painter.translate(-rect.topLeft());
    QStyleOptionTab option;
    initStyleOption(&option, index);
    style()->drawControl(QStyle::CE_TabBarTabLabel, &option, &painter, this);
    painter.end();
    if (QWidget* button = tabButton(index, RightSide))
        button->render(&picture, button->pos() - rect.topLeft(), QRegion(), QWidget::DrawChildren);
    return picture;
}

void TearOffTabBar::DoTabClose(int index, bool ask)
{
    TEAROFF_TRACE(ZmLib::KX_LEVEL_NOTICE, "TearOffTabBar::DoTabClose");
    TearOffMain* main = TearOffMain::Me;
    TearOffTabWidget* tabs = TabWidget;
    auto* dock = qobject_cast<TearOffTabDock*>(tabs->widget(index));
    if (!dock)
        return;
    const TearOffTabDock* wasCurrent = TearOffMain::CurrentDock;
    QWidget* container = dock->GetSecondaryIfLast();

    if ((dock->Mode & TearOffTabDock::ModePanel) && ask) {
        dock->ShowOrHide(false, false);
    } else {
        if (ask && (dock->IsModified() || !dock->CanCloseSilently())) {
            // The questions and the save run loops of their own, in which
            // the dock may be closed by another road: then nothing is left
            // to do here, and its index may now be another tab's.
            const QPointer<TearOffTabBar> self(this);
            const QPointer<TearOffTabDock> held(dock);
            const auto gone = [&] { return !self || !held || !main->Docks.contains(dock); };
            if (!dock->MayClose() || gone())
                return;
            if (dock->IsModified()) {
                const int answer = TearOffMain::AskCloseOne(this, dock, false);
                if (gone())
                    return;
                switch (answer) {
                case QMessageBox::Yes:
                    // A failed or cancelled save keeps the changes and the tab.
                    if (!dock->SaveOnClose())
                        return;
                    break;
                case QMessageBox::No:
                    dock->DiscardChanges();
                    break;
                default:
                    return;
                }
            } else if (!dock->SaveOnClose()) {
                return;
            }
            index = tabs->indexOf(dock);
            if (gone() || index < 0)
                return;
            container = dock->GetSecondaryIfLast();
        }
        tabs->removeTab(index);
        dock->TabRemoved();
        main->Docks.removeAll(dock);
        dock->deleteLater();
        main->DropEmptyGroup(tabs);
    }

    if (container)
        container->hide();
    if (!tabs->DockWidget || tabs->DockWidget->isHidden())
        main->ChooseNextCurrent();
    // A closed dock that stayed current while its group lives on.
    if (TearOffMain::CurrentDock == dock && !main->Docks.contains(dock))
        TearOffMain::CurrentDock = nullptr;
    // No current dock any more is a change of the current dock too: the
    // closed document's commands must not stay enabled.
    if (wasCurrent && !TearOffMain::CurrentDock)
        main->UpdateActions();
    main->CheckCentralWidgetVisibility();
}
