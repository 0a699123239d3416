// The action factory: a class that mixes in ComActionBase<N> holds one
// QAction per action id and builds them from the published action table and
// its binding list. Menus and toolbars are then built by action id.
#pragma once

#include <cstdint>

#include "tearoffwidget/comaction.h"

class QAction;
class QKeySequence;
class QString;
class QWidget;

class ComActionFactory {
public:
    // Builds the actions of one object into actions[0..count-1] (all set to
    // null first). With a second list the actions get no shortcut (the main
    // window's twins carry it) and each binding's position is set to the
    // index of its id in the second list, or -1.
    static void CreateActions(QAction** actions, int32_t count, QWidget* parent, ComActionBinding* bindings,
                              const ComActionBinding* second);
    // One action of the published table, without a slot: text, icon, tips
    // and check mark; withKey: the key as an application-wide shortcut.
    static QAction* CreateAction(int32_t id, QWidget* parent, bool withKey);
    // The status tip, tool tip and What's-this text of an action: its tip
    // (or menu text) and its shortcut after a tab, without '&'.
    static QString WhatsThisText(const ComAction& descriptor);
    // The key sequence of a descriptor's key: a standard key as the viewer
    // binds it on Linux (none for one it does not know), else the key code;
    // empty for none.
    static QKeySequence KeyOf(int32_t key);
    // Deletes every action of the array and sets the pointers to null.
    static void DeleteActions(QAction** actions, int32_t count);
};

template <int32_t N>
class ComActionBase {
public:
    static_assert(N > 0 && N <= ComActionCount, "action array size");

    void CreateActions(QWidget* parent, ComActionBinding* bindings, const ComActionBinding* second)
    {
        ComActionFactory::CreateActions(Actions, N, parent, bindings, second);
    }
    void DeleteActions() { ComActionFactory::DeleteActions(Actions, N); }

    // Index = action id; null where the class binds no action.
    QAction* Actions[N] = {};
};
