#include "tearoffwidget/tabcoverwidget.h"

#include <QMouseEvent>
#include <QPainter>

#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearofftabbar.h"
#include "tearoffwidget/tearofftabdock.h"
#include "tearoffwidget/tearofftabwidget.h"

TabCoverWidget::TabCoverWidget(TearOffTabBar* owner, int32_t index, QWidget* parent)
    : QWidget(parent, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      Pixmap(owner->MarkPicture(index)),
      Owner(owner),
      TabIndex(index)
{
    // The right button opens the tab's own menu; the request that follows
    // the press must not reach the main window's menu beneath.
    setContextMenuPolicy(Qt::PreventContextMenu);
}

void TabCoverWidget::paintEvent(QPaintEvent*)
{
    QPainter(this).drawPixmap(0, 0, Pixmap);
}

void TabCoverWidget::mousePressEvent(QMouseEvent* event)
{
    TearOffMain* main = TearOffMain::Me;
    if (!main)
        return;
    if (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ControlModifier)) {
        main->UnmarkTab(this);
        return;
    }
    // The tabs may have moved since the mark was made.
    if (Owner && TabIndex < Owner->count()) {
        if (event->button() == Qt::LeftButton) {
            Owner->TabWidget->TabBarClicked(TabIndex);
        } else if (event->button() == Qt::RightButton) {
            const QPoint inBar = Owner->mapFromGlobal(event->globalPos());
            auto* dock = qobject_cast<TearOffTabDock*>(Owner->TabWidget->widget(Owner->tabAt(inBar)));
            if (!inBar.isNull() && dock)
                dock->ShowTabMenu(event->globalPos());
        }
    }
    main->ClearDragSelection();
}
