#include "kxviewer/table/docktitlebar.h"

#include <QDockWidget>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "kxviewer/shellservices.h"
#include "kxviewer/table/guiicons.h"
#include "kxviewer/table/tabbase.h"

namespace {
constexpr int BAR_HEIGHT = 21;
constexpr int TITLE_POINTS = 8;

QPushButton* FlatButton(QWidget* parent)
{
    auto* button = new QPushButton(parent);
    button->setFlat(true);
    button->setStyleSheet(QStringLiteral("QPushButton {border:none; margin:0; padding:0}"));
    button->setFixedHeight(BAR_HEIGHT);
    return button;
}

// The owner's slots are reached by name: the owner may be the main window.
void ConnectToOwner(QPushButton* button, QWidget* owner, const char* slot)
{
    if (!QObject::connect(button, SIGNAL(clicked()), owner, slot))
        KX_PRINT(KxvTearoffChannel, ZmLib::KX_LEVEL_ERROR, "DockTitlebar: cannot connect to %s", slot + 1);
}
} // namespace

DockTitlebar::DockTitlebar(QDockWidget* dock, QWidget* owner, bool closable)
    : QWidget(dock), Dock(dock), Owner(owner)
{
    Title = new QLabel(QStringLiteral("    ") + dock->windowTitle(), this);
    QFont font = Title->font();
    font.setPointSize(TITLE_POINTS);
    Title->setFont(font);
    Title->setFixedHeight(BAR_HEIGHT);
    Title->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    setStyleSheet(QStringLiteral("border:1px; background-color:#fafafa;"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 1, 0);
    layout->setSpacing(0);
    layout->addWidget(Title, 1);

    if (!closable) {
        SyncButton = FlatButton(this);
        SyncButton->setCheckable(true);
        SyncButton->setToolTip(QStringLiteral("Sync table position On/Off"));
        layout->addWidget(SyncButton);
    }
    MenuButton = FlatButton(this);
    MenuButton->setIcon(LoadIconResource("MenuDown", ".ico"));
    layout->addWidget(MenuButton);
    if (closable) {
        CloseButton = FlatButton(this);
        CloseButton->setIcon(LoadIconResource("Close", ".ico"));
        layout->addWidget(CloseButton);
        connect(CloseButton, &QPushButton::clicked, this, &DockTitlebar::onTitleClose);
    }
    if (owner) {
        ConnectToOwner(MenuButton, owner, SLOT(onTabMenuButton()));
        if (SyncButton) {
            ConnectToOwner(SyncButton, owner, SLOT(onOnOffSyncToCurRow()));
            if (auto* tab = qobject_cast<TabBase*>(owner)) {
                SyncButton->setChecked(tab->Prefs.SyncToCurRow != 0);
                emit SyncButton->clicked(false);
            }
        }
    }
}

void DockTitlebar::onTitleClose()
{
    Dock->close();
}
