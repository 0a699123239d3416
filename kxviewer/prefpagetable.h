// The "Table Panel" preferences page: the defaults of new table views
// (toolbars, side panels, colours, misc flags). The three colours are
// stored as soon as they are chosen; the rest waits for Apply.
#pragma once

#include <QWidget>

#include "kxviewer/prefdata.h"

class QCheckBox;
class QPushButton;

class PrefPageTable : public QWidget {
    Q_OBJECT

public:
    explicit PrefPageTable(QWidget* parent = nullptr);

    QCheckBox* Toolbars[BASE_TOOLBAR_COUNT];
    QCheckBox* Info;
    QCheckBox* Outline;
    QCheckBox* History;
    QPushButton* Highlight;
    QPushButton* Selected;
    QPushButton* Bookmark;
    QCheckBox* NormalizeTime;
    QCheckBox* InsertFunc;
    QCheckBox* IndentText;
    QCheckBox* Colorize;
    QCheckBox* HighlightOn;
    QCheckBox* ShowPresErrors;
    QCheckBox* SyncToCurRow;
    QCheckBox* ExpandNewHistoryItem;

public slots:
    void ChangeSomeColors();
};
