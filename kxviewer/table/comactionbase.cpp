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

// The standard keys of the action table with the first key Qt's generic
// X11 scheme gives them, 0 where it gives none. The set is fixed rather
// than asked of the desktop's theme: the commands page of the help is made
// at build time without a desktop, and its keys and its What's-this
// keywords must be the ones the menus and tips show.
struct LinuxKey {
    int32_t standardKey;
    int32_t key;
};
constexpr LinuxKey LinuxKeys[] = {
    {QKeySequence::HelpContents, Qt::Key_F1},
    {QKeySequence::Open, Qt::CTRL | Qt::Key_O},
    {QKeySequence::Close, Qt::CTRL | Qt::Key_W},
    {QKeySequence::Save, Qt::CTRL | Qt::Key_S},
    {QKeySequence::New, Qt::CTRL | Qt::Key_N},
    {QKeySequence::Copy, Qt::CTRL | Qt::Key_C},
    {QKeySequence::Paste, Qt::CTRL | Qt::Key_V},
    {QKeySequence::Back, Qt::ALT | Qt::Key_Left},
    {QKeySequence::Print, Qt::CTRL | Qt::Key_P},
    {QKeySequence::AddTab, Qt::CTRL | Qt::Key_T},
    {QKeySequence::Find, Qt::CTRL | Qt::Key_F},
    {QKeySequence::FindNext, Qt::Key_F3},
    {QKeySequence::FindPrevious, Qt::SHIFT | Qt::Key_F3},
    {QKeySequence::SelectAll, Qt::CTRL | Qt::Key_A},
    {QKeySequence::SaveAs, 0},
    {QKeySequence::Preferences, 0},
    {QKeySequence::Quit, Qt::CTRL | Qt::Key_Q},
    {QKeySequence::FullScreen, 0},
    {QKeySequence::Deselect, Qt::CTRL | Qt::SHIFT | Qt::Key_A},
};

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
        QAction* action = CreateAction(id, parent, !second);
        actions[id] = action;
        KX_VERIFY(KxvTearoffChannel, QObject::connect(action, SIGNAL(triggered()), parent, binding->slot));
        if (std::strcmp(binding->slot, NotImplemented) == 0)
            action->setVisible(false);
        if (second)
            binding->position = IndexIn(second, id);
    }
}

QAction* ComActionFactory::CreateAction(int32_t id, QWidget* parent, bool withKey)
{
    const ComAction& descriptor = ComActionTable[id];
    const QString text = QString::fromLatin1(descriptor.text);
    auto* action = new QAction(text, parent);
    if (descriptor.icon)
        action->setIcon(IconOf(descriptor));

    const QKeySequence key = KeyOf(descriptor.key);
    if (!key.isEmpty() && withKey) {
        action->setShortcut(key);
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
    return action;
}

QKeySequence ComActionFactory::KeyOf(int32_t key)
{
    if (key > LastStandardKey)
        return QKeySequence(key);
    for (const LinuxKey& entry : LinuxKeys)
        if (entry.standardKey == key)
            return entry.key != 0 ? QKeySequence(entry.key) : QKeySequence();
    return QKeySequence();
}

QString ComActionFactory::WhatsThisText(const ComAction& descriptor)
{
    QString tip = QString::fromLatin1(descriptor.tip ? descriptor.tip : descriptor.text);
    // No tab without a key: the help's keyword would end in one, which the
    // help browser's commands do not carry.
    const QString key = KeyOf(descriptor.key).toString(QKeySequence::NativeText);
    if (!key.isEmpty())
        tip += QLatin1Char('\t') + key;
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
