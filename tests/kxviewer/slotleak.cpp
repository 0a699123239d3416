// Leaks one object in a slot. LeakSanitizer must report it, with the
// suppressions of the widget tests in force, although the allocation's stack
// passes through Qt's signal code: they may hide Qt's own leaks, never ours.
#include <QApplication>
#include <QLabel>

#include "tests/pinnedscreen.h"

namespace {

void LeakInASlot() { new QObject; }

} // namespace

int main(int argc, char** argv)
{
    const PinnedScreen screen;
    QApplication app(argc, argv);
    // What every widget test does: a shown widget painted with its font.
    QLabel label(QStringLiteral("leak"));
    label.show();
    label.grab();
    QObject sender;
    QObject::connect(&sender, &QObject::objectNameChanged, &LeakInASlot);
    sender.setObjectName(QStringLiteral("sender"));
    return 0;
}
