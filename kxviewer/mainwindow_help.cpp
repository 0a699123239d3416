// Help: the help browser's start page and What's-this clicks.
#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QWhatsThis>

#include "kxviewer/helpassistant.h"
#include "kxviewer/mainwindow.h"

void MainWindow::Help() { help_->ShowPage(QStringLiteral("index.html")); }

bool MainWindow::ShowWhatsThisHelp(QObject* object)
{
    if (!object->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(object);
    QString text = widget->whatsThis();
    if (text.isEmpty())
        if (auto* button = qobject_cast<QPushButton*>(widget))
            text = button->text();
    return ShowHelpText(text);
}

bool MainWindow::ShowMenuEntryHelp(QObject* object, const QMouseEvent& release)
{
    auto* menu = qobject_cast<QMenu*>(object);
    QAction* entry = menu != nullptr ? menu->actionAt(release.pos()) : nullptr;
    if (entry == nullptr || entry->isSeparator() || entry->menu() != nullptr)
        return false;
    // As the menu itself would show it: the entry's text, else the menu's.
    const QString text = entry->whatsThis().isEmpty() ? menu->whatsThis() : entry->whatsThis();
    if (text.isEmpty())
        return false;
    // The entry is not run, so the menus would stay open.
    while (QWidget* popup = QApplication::activePopupWidget())
        if (!popup->close())
            break;
    return ShowHelpText(text);
}

bool MainWindow::ShowHelpText(const QString& text)
{
    if (text.isEmpty())
        return false;
    if (text.contains(QLatin1String(".html")))
        help_->ShowPage(text);
    else
        help_->SendCommand(QStringLiteral("ActivateIdentifier ") + text);
    // What's-this mode is run by an event filter that is on the stack now:
    // it is left on the next pass of the event loop.
    QTimer::singleShot(0, this, [] { QWhatsThis::leaveWhatsThisMode(); });
    return true;
}
