// Rows copied between documents through the process-wide copy record (not
// the clipboard), pasted at the current row, and erased.
#include <QApplication>
#include <QMessageBox>

#include "kxlib/table/kxtable.h"
#include "kxviewer/kxvglobals.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/tabbase.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearoffprompt.h"
#include "utils/common/kxexcept.h"

namespace {

void LogAndStatus(const QString& text)
{
    KxvShell().AddToSystemLog(text);
    KxvShell().ShowStatus(text);
}

bool AskYes(const QString& text)
{
    return TearOffMain::Prompt().Question(TearOffMain::Me, QStringLiteral("Question"), text,
                                          QMessageBox::Yes | QMessageBox::No,
                                          QMessageBox::Yes) == QMessageBox::Yes;
}

QString Quoted(const KxTable& table)
{
    return QStringLiteral("\"%1\"").arg(QString::fromLocal8Bit(table.Name()));
}

} // namespace

bool TabBase::TableRefusesRowChanges(const char* what)
{
    if (Table->IsEditable())
        return false;
    const QString reason = Table->FilterOn ? QStringLiteral("the document is filtered; clear the filter first")
                                           : QStringLiteral("the document is not editable");
    KxvShell().Information(QStringLiteral("Cannot %1: %2.").arg(QLatin1String(what), reason), false);
    return true;
}

bool TabBase::GraphAllows(const char* what)
{
    if (GraphState == GRAPH_IS_GRAPH) {
        KxvShell().Information(QStringLiteral("You can't %1 in a graph.").arg(QLatin1String(what)), false);
        return false;
    }
    if (GraphState != GRAPH_OPEN)
        return true;
    const Hold hold(this);
    if (!AskYes(QStringLiteral("You can't %1 while the graph is open.\nClose the graph?").arg(QLatin1String(what))) ||
        hold.Gone())
        return false;
    CloseGraph();
    return GraphState != GRAPH_OPEN;
}

bool TabBase::RememberCopy(int32_t mode)
{
    if (Table->RowCount() < 1)
        return false;
    KxvCopyInformation& copy = KxvGlobals::CopyInformation;
    // Taking our own table again must not let its last reference go.
    Table->AddRef();
    copy.Clear();
    copy.source = Table;
    copy.mode = mode;
    copy.rowsVersion = Table->RowsVersion();
    if (mode == KxvCopyInformation::SELECTED) {
        copy.runs = Table->SelectedRuns(nullptr, 0);
    } else if (mode == KxvCopyInformation::BY_COLORS) {
        std::vector<uint32_t> colors;
        for (const ColorGroup& group : ColorGroups)
            if (group.copy)
                colors.push_back(group.color);
        copy.runs = Table->SelectedRuns(colors.data(), int(colors.size()));
    }
    UpdateActions();
    return true;
}

void TabBase::RowsCopy() { RememberCopy(KxvCopyInformation::SELECTED); }

void TabBase::RowsCopyAll() { RememberCopy(KxvCopyInformation::ALL_ROWS); }

void TabBase::RowsCopyByColors() { RememberCopy(KxvCopyInformation::BY_COLORS); }

int32_t TabBase::PasteCopy(int32_t position, const char* ownText)
{
    const KxvCopyInformation& copy = KxvGlobals::CopyInformation;
    KxTable* source = copy.source;
    if (!source)
        return -1;
    if (source == Table) {
        QApplication::beep();
        KxvShell().Information(QString::fromLatin1(ownText), false);
        return -1;
    }
    if (TableRefusesRowChanges("paste rows") || !GraphAllows("paste rows"))
        return -1;
    // Copy All takes the source's rows as they are now; only a copy of
    // chosen rows names rows that may have moved since.
    if (copy.mode != KxvCopyInformation::ALL_ROWS && source->RowsVersion() != copy.rowsVersion) {
        KxvShell().Information(QStringLiteral("Cannot paste: the rows of document %1 changed after the copy. "
                                              "Please copy them again.")
                                   .arg(Quoted(*source)),
                               false);
        return -1;
    }
    int32_t added = 0;
    const Hold hold(this);
    try {
        added = copy.mode == KxvCopyInformation::ALL_ROWS ? source->CopyAllRecords(*Table, position)
                                                          : source->CopyRuns(*Table, copy.runs, position);
    } catch (const ZmLib::KxExcept& fault) {
        const QString text = QString::fromLocal8Bit(fault.text ? fault.text : "");
        KxvShell().AddToSystemLog(text);
        KxvShell().Information(text, true);
    }
    if (hold.Gone() || !TableChanged())
        return -1;
    // The first rows of a new document start its time.
    UpdateInfoTime();
    UpdateActions();
    UpdateTitle();
    LogAndStatus(QStringLiteral("Document %1 : %2 records added").arg(Quoted(*Table)).arg(added));
    return added;
}

void TabBase::RowsPaste()
{
    const int32_t position = Table->CurRow();
    if (PasteCopy(position, "Cannot paste into oneself") > 0 && position < 0)
        SetCurrentPosition(0);
}

void TabBase::RowsDelete()
{
    if (Table->RowCount() < 1 || TableRefusesRowChanges("delete rows"))
        return;
    if (!GraphAllows("delete rows"))
        return;
    QString question;
    if (Table->NumSelected == 0) {
        if (Table->CurRow() < 0)
            return;
        question = QStringLiteral("Are you sure to delete row #%1").arg(Table->CurRow() + 1);
    } else {
        question = QStringLiteral("Are you sure to delete %1 selected rows?").arg(Table->NumSelected);
    }
    const Hold hold(this);
    if (!AskYes(question) || hold.Gone())
        return;
    const int32_t deleted = Table->DelRecords();
    if (!TableChanged())
        return;
    UpdateTitle();
    LogAndStatus(QStringLiteral("Document %1 : %2 records deleted").arg(Quoted(*Table)).arg(deleted));
}
