#include "kxviewer/kxviewersecondary.h"

#include <QIcon>

KxViewerSecondary::KxViewerSecondary(QWidget* parent) : TearOffSecondary(parent)
{
    // The taskbar and the window switcher show it as the viewer's.
    if (parent != nullptr) {
        setWindowIcon(parent->windowIcon());
        setWindowTitle(parent->windowTitle());
    }
}
