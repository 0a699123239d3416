// The viewer's secondary window: a floating window of documents torn out of
// the main window.
#pragma once

#include "tearoffwidget/tearoffsecondary.h"

class KxViewerSecondary : public TearOffSecondary {
    Q_OBJECT

public:
    explicit KxViewerSecondary(QWidget* parent);
};
