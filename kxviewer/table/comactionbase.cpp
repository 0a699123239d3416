#include "kxviewer/table/comactionbase.h"

#include <cstring>

#include <QAction>
#include <QIcon>
#include <QKeySequence>
#include <QWidget>

#include "kxviewer/shellservices.h"
#include "tearoffwidget/resources.h"

namespace {
constexpr int32_t LastStandardKey = 67;
constexpr char NotImplemented[] = "1notImplemented()";

QKeySequence KeyOf(int32_t key)
{
    return key <= LastStandardKey ? QKeySequence(QKeySequence::StandardKey(key)) : QKeySequence(key);
}

QIcon IconOf(const ComAction& descriptor)
{
    QIcon icon(QString::fromLatin1(Resources::GetIconPath(descriptor.icon, Resources::IconExt)));
    // The second picture is the disabled look, so it belongs to the
    // Disabled mode; in Normal it would replace the icon's own picture.
    if (descriptor.icon2)
        icon.addPixmap(QPixmap(QString::fromLatin1(Resources::GetIconPath(descriptor.icon2, Resources::IconExt))),
                       QIcon::Disabled, QIcon::Off);
    return icon;
}

int32_t IndexIn(const ComActionBinding* list, int32_t id)
{
    for (int32_t i = 0; list[i].id >= 0; ++i)
        if (list[i].id == id)
            return i;
    return -1;
}
} // namespace

void ComActionFactory::CreateActions(QAction** actions, int32_t count, QWidget* parent, ComActionBinding* bindings,
                                     const ComActionBinding* second)
{
    for (int32_t i = 0; i < count; ++i)
        actions[i] = nullptr;
    for (ComActionBinding* binding = bindings; binding->id >= 0; ++binding) {
        const int32_t id = binding->id;
        KX_ASSERT(KxvTearoffChannel, id < count && id < ComActionTableSize);
        const ComAction& descriptor = ComActionTable[id];
        const QString text = QString::fromLatin1(descriptor.text);
        auto* action = new QAction(text, parent);
        actions[id] = action;
        if (descriptor.icon)
            action->setIcon(IconOf(descriptor));

        if (descriptor.key != 0 && !second) {
            action->setShortcut(KeyOf(descriptor.key));
            action->setShortcutContext(Qt::ApplicationShortcut);
        }
        if (descriptor.checkable)
            action->setCheckable(true);

        const QString tip = WhatsThisText(descriptor);
        action->setStatusTip(tip);
        action->setToolTip(tip);
        action->setWhatsThis(tip);
        action->setIconText(QString());
        action->setObjectName(text);

        KX_VERIFY(KxvTearoffChannel, QObject::connect(action, SIGNAL(triggered()), parent, binding->slot));
        if (std::strcmp(binding->slot, NotImplemented) == 0)
            action->setVisible(false);
        if (second)
            binding->position = IndexIn(second, id);
    }
}

QString ComActionFactory::WhatsThisText(const ComAction& descriptor)
{
    QString tip = QString::fromLatin1(descriptor.tip ? descriptor.tip : descriptor.text);
    if (descriptor.key != 0)
        tip += QLatin1Char('\t') + KeyOf(descriptor.key).toString(QKeySequence::NativeText);
    tip.remove(QLatin1Char('&'));
    return tip;
}

void ComActionFactory::DeleteActions(QAction** actions, int32_t count)
{
    for (int32_t i = 0; i < count; ++i) {
        delete actions[i];
        actions[i] = nullptr;
    }
}
