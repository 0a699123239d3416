#include "kxviewer/kxviewersecondary.h"

#include <QIcon>

#include "kxviewer/windowdrop.h"

KxViewerSecondary::KxViewerSecondary(QWidget* parent) : TearOffSecondary(parent)
{
    // The taskbar and the window switcher show it as the viewer's.
    if (parent != nullptr) {
        setWindowIcon(parent->windowIcon());
        setWindowTitle(parent->windowTitle());
    }
    new WindowDrop(this);
}
