// Opening what was dropped on a window of the viewer.
#include "kxviewer/droppedfiles.h"
#include "kxviewer/mainwindow.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/table/tabtable.h"

void MainWindow::CallFilesDrag()
{
    const DroppedFiles dropped = CollectDroppedFiles(DroppedUrls);
    DroppedUrls.clear();
    for (const QString& url : dropped.notLocal)
        AddToSystemLog(QStringLiteral("Dropped item is not a local file, skipped: ") + url);
    for (const QString& folder : dropped.unreadable)
        AddToSystemLog(QStringLiteral("Dropped folder cannot be read: ") + folder);
    for (const QString& name : dropped.undecodable)
        AddToSystemLog(QStringLiteral("Dropped file name is not valid in the local code page, skipped: ") + name);
    if (dropped.files.size() > MAX_DROP_WITHOUT_QUESTION &&
        Question(QStringLiteral("You need open %1 files ?").arg(dropped.files.size()),
                 QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) != QMessageBox::Yes)
        return;
    for (const QString& path : dropped.files)
        OpenFile(path, MainHost, -1, OPEN_PATTERNS_OR_ASK);
    PrefGlobal::Save();
}
