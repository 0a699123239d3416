// What the timeline asks of the graph document: the table's rows, marks
// and threads, the document's actions, colours and messages. Changes made
// from the timeline reach the table tab's view as well.
#include <algorithm>

#include <QAction>
#include <QLineEdit>
#include <QToolButton>

#include "kxlib/fields.h"
#include "kxlib/kxdrecord.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/graph/auxthreadmap.h"
#include "kxviewer/graph/qsimplegraph.h"
#include "kxviewer/graph/tabgraph.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/panedocks.h"
#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/tabtable.h"

namespace {

QColor RgbWord(uint32_t word) { return QColor(int(word >> 16) & 0xFF, int(word >> 8) & 0xFF, int(word) & 0xFF); }

} // namespace

QAction* TabGraph::Action(int id) const { return id >= 0 && id < ComActionCount ? Actions[id] : nullptr; }

int32_t TabGraph::RowCount() const { return Table->RowCount(); }

int64_t TabGraph::RowTime(int32_t row) const
{
    return row >= 0 && row < Table->RowCount() ? Table->GetRecord(row)->Int64(FIELD_TIME) : 0;
}

bool TabGraph::RowSelected(int32_t row) const
{
    return row >= 0 && row < Table->RowCount() && Table->GetRecord(row)->selRange != nullptr;
}

void TabGraph::SelectRows(int32_t from, int32_t to, bool select)
{
    SelRangeSet(from, to, select, Prefs.ColorSelect);
    ShowTableMarks();
    if (owner_) {
        owner_->UpdateInformer();
        owner_->UpdateBase();
    }
}

bool TabGraph::RowBookmarked(int32_t row) const
{
    return row >= 0 && row < Table->RowCount() && Table->GetRecord(row)->bookmark != nullptr;
}

void TabGraph::SetBookmark(int32_t row, bool on)
{
    BookmarkSet(row, on);
    UpdateInformer();
    ShowTableMarks();
    if (owner_) {
        owner_->UpdateInformer();
        owner_->UpdateBase();
    }
}

bool TabGraph::NearestBookmark(int64_t t, int64_t& time, int32_t& row) const
{
    bool found = false;
    uint64_t best = 0;
    for (const KxBkmarkEntry* entry = Table->Bookmarks().First(); entry; entry = entry->NextEntry()) {
        if (entry->index < 0 || entry->index >= Table->RowCount())
            continue;
        const int64_t at = RowTime(entry->index);
        const uint64_t distance = at >= t ? uint64_t(at) - uint64_t(t) : uint64_t(t) - uint64_t(at);
        if (!found || distance < best) {
            found = true;
            best = distance;
            time = at;
            row = entry->index;
        }
    }
    return found;
}

bool TabGraph::HasVisibleBookmarks() const { return !Table->Bookmarks().IsEmpty(); }

void TabGraph::CursorMoved(int32_t row, bool syncTable)
{
    if (row < 0 || row >= Table->RowCount())
        return;
    if (!syncTable) {
        // Only the go-to line: the table's row stays where it is.
        if (GoToEdit)
            GoToEdit->setText(QString::number(row + 1));
        return;
    }
    if (owner_)
        owner_->SetCurrentPosition(row);
    else
        Table->SetCurRow(row);
    UpdateCurrentPosition();
}

QString TabGraph::RecordInfo(int32_t row) const
{
    if (row < 0 || row >= Table->RowCount())
        return QString();
    KxdRecord* record = Table->GetRecord(row);
    QString text = QStringLiteral("Row #%1:").arg(row + 1);
    for (int field = 0; field < FIELD_Nums; ++field)
        text += QLatin1Char(' ') + QString::fromLatin1(FieldKey(field)) + QLatin1Char('=') +
                QString::fromLocal8Bit(record->Text(field));
    return text;
}

QString TabGraph::TableName() const { return QString::fromLocal8Bit(Table->Name()); }

QString TabGraph::ThreadText(uint64_t tid) const
{
    const KxTidEntry* entry = Table->Tids().Find(tid);
    const QString number = QString::number(qulonglong(tid));
    return entry && entry->name[0] ? QString::fromLocal8Bit(entry->name) + QStringLiteral(" (") + number + QLatin1Char(')')
                                   : number;
}

void TabGraph::SelectThreadsInTree(const std::vector<uint64_t>& tids)
{
    if (!AuxTreeDock)
        return;
    std::vector<uint64_t> wanted = tids;
    std::sort(wanted.begin(), wanted.end());
    const AuxThreadMap map(*Table);
    // An item is chosen when one of the threads of its records is.
    auto chosen = [&wanted, &map](int32_t node, int32_t child) {
        for (uint64_t tid : map.Threads(node, child))
            if (std::binary_search(wanted.begin(), wanted.end(), tid))
                return true;
        return false;
    };
    AuxTreeDock->SelectItems(chosen);
}

bool TabGraph::ShowsPresentationErrors() const { return Prefs.ShowPresErrors != 0; }

QColor TabGraph::GraphBackground() const { return RgbWord(Prefs.ColorGraphBg); }

bool TabGraph::BackgroundButtonChecked() const { return colourButton_ && colourButton_->isChecked(); }

void TabGraph::SetGraphBackground(const QColor& colour)
{
    Prefs.ColorGraphBg = uint32_t(colour.rgb()) & 0xFFFFFF;
    // Kept with the table tab's, so that following its colours keeps this.
    if (owner_)
        owner_->Prefs.ColorGraphBg = Prefs.ColorGraphBg;
    PaintColourButton();
}

void TabGraph::ShowColours()
{
    graph_->SetColours(RgbWord(Prefs.ColorSelect), RgbWord(Prefs.ColorBookmark));
    graph_->SetBackColor();
    PaintColourButton();
}

void TabGraph::FollowOwnerColours()
{
    if (!owner_)
        return;
    bool changed = false;
    for (uint32_t PrefTabTable::*colour : {&PrefTabTable::ColorSelect, &PrefTabTable::ColorHighlight,
                                           &PrefTabTable::ColorBookmark, &PrefTabTable::ColorGraphBg}) {
        changed = changed || Prefs.*colour != owner_->Prefs.*colour;
        Prefs.*colour = owner_->Prefs.*colour;
    }
    if (!changed)
        return;
    for (int id : {TACT_SELECT, TACT_HIGHLIGHT, TACT_BOOKMARK})
        if (Actions[id] && owner_->Actions[id])
            Actions[id]->setIcon(owner_->Actions[id]->icon());
    ShowColours();
}

void TabGraph::ShowStatus(const QString& text) { KxvShell().ShowStatus(text); }

void TabGraph::AddToSystemLog(const QString& text) { KxvShell().AddToSystemLog(text); }

void TabGraph::AddToSystemLogNoTime(const QString& text)
{
    KxvShell().AddToSystemLog(text, KxvShellServices::LOG_ICON_NONE);
}
