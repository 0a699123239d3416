// Leaks one object in a slot and one in a paint event. LeakSanitizer must
// report both, with the suppressions of the widget tests in force, although
// the first allocation's stack passes through Qt's signal code and the
// second's through the offscreen platform, whose event dispatcher delivers
// the expose event of a shown window: they may hide Qt's own leaks, never
// ours.
#include <QApplication>
#include <QLabel>

#include "tests/pinnedscreen.h"

namespace {

void LeakInSlot() { new QObject; }

void LeakInPaint() { new QObject; }

// Leaks in its first paint only, so that the report counts one object.
class LeakingLabel : public QLabel {
public:
    using QLabel::QLabel;
    bool painted = false;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        if (!painted)
            LeakInPaint();
        painted = true;
        QLabel::paintEvent(event);
    }
};

} // namespace

int main(int argc, char** argv)
{
    const PinnedScreen screen;
    QApplication app(argc, argv);
    // What every widget test does: a shown widget painted with its font,
    // first as the platform exposes its window.
    LeakingLabel label(QStringLiteral("leak"));
    label.show();
    QApplication::processEvents();
    if (!label.painted)
        return 1;
    label.grab();
    QObject sender;
    QObject::connect(&sender, &QObject::objectNameChanged, &LeakInSlot);
    sender.setObjectName(QStringLiteral("sender"));
    return 0;
}
