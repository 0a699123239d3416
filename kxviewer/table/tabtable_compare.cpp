// Comparison of two documents, or of two ranges of one, in the external diff
// program the user set: the rows are written as text files into the per-user
// work folder and the program is started on them, detached, so that it
// outlives the tab and a second comparison never waits for the first.
#include <algorithm>
#include <thread>

#include <QFile>
#include <QProcess>

#include "kxlib/table/kxtable.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/rowformatter.h"
#include "kxviewer/table/tabtable.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearofftabwidget.h"
#include "utils/osal/privatedir.h"

namespace {

using Spans = std::vector<std::pair<int32_t, int32_t>>;

// Rows formatted per write, so that memory does not grow with the table.
constexpr int32_t BLOCK_ROWS = 8192;

void Tell(const QString& text)
{
    KxvShell().AddToSystemLog(text);
    KxvShell().Information(text, true);
}

// Holds the work folder, created when missing; false after telling the
// user.
bool HoldOrTell(ZmLib::PrivateDir& dir)
{
    const std::string refused = PrefGlobal::HoldWorkDir(dir);
    if (!refused.empty())
        Tell(QString::fromLocal8Bit(refused.c_str()));
    return refused.empty();
}

// A file's name in the folder: the part given between the comparison's
// prefix and suffix, by which a start knows the file for the viewer's own.
std::string FileName(const QString& part)
{
    return QFile::encodeName(QLatin1String(PrefGlobal::COMPARE_PREFIX) + part +
                             QLatin1String(PrefGlobal::COMPARE_SUFFIX))
        .toStdString();
}

// The table's name up to its first '.'; a '/' (a name given in the Info
// pane) would leave the folder.
QString BaseName(const TabTable& tab)
{
    QString name = QString::fromLocal8Bit(tab.Table->Name());
    name = name.left(name.indexOf(QLatin1Char('.')));
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return name;
}

// The whole table, or one Outline range cut to the table's rows.
Spans AllRows(const TabTable& tab)
{
    const int32_t rows = tab.Table->RowCount();
    return rows > 0 ? Spans{{0, rows - 1}} : Spans{};
}

Spans RangeRows(const TabTable& tab, const TabBase::OutlineEntry& entry)
{
    const int32_t first = std::max(entry.first, 0);
    const int32_t last = std::min(entry.last, tab.Table->RowCount() - 1);
    return first <= last ? Spans{{first, last}} : Spans{};
}

// True when a's file goes first: the document further left on the screen;
// at the same x the lower index in its tab widget; else b's.
bool FirstIsLeft(const TabTable* a, const TabTable* b)
{
    const int ax = a->mapToGlobal(QPoint(0, 0)).x();
    const int bx = b->mapToGlobal(QPoint(0, 0)).x();
    if (ax != bx)
        return ax < bx;
    if (a->TabWidget && b->TabWidget)
        return a->TabWidget->indexOf(const_cast<TabTable*>(a)) < b->TabWidget->indexOf(const_cast<TabTable*>(b));
    return false;
}

// Starts the diff program on the two files of dir, named where the folder
// is now; a program that cannot start is reported, one that ends at once is
// not.
void StartDiff(const ZmLib::PrivateDir& dir, const std::string& nameFirst, const std::string& nameSecond)
{
    const std::string where = dir.WhereNow();
    const QString first = QFile::decodeName((where + nameFirst).c_str());
    const QString second = QFile::decodeName((where + nameSecond).c_str());
    const QString program = QFile::decodeName(PrefGlobal::CompareProgramm.c_str());
    // The program reads nothing of the viewer's standard input.
    QProcess diff;
    diff.setProgram(program);
    diff.setArguments({first, second});
    diff.setStandardInputFile(QProcess::nullDevice());
    if (program.isEmpty() || !diff.startDetached()) {
        PrefGlobal::ReportDiffError();
        return;
    }
    KxvShell().ShowStatus(QStringLiteral("Comparing \"%1\" with \"%2\"").arg(first, second));
}

// The rows of the spans written to the file name in dir as the text
// export's lines without row numbers, so that an inserted record changes one
// line of a comparison only. Runs beside the GUI thread: returns what to tell
// the user, empty on success.
QString WriteRows(const TabTable& tab, const ZmLib::PrivateDir& dir, const std::string& name, const Spans& spans)
{
    const QString path = QFile::decodeName(dir.PathOf(name).c_str());
    ZmLib::PrivateDir::Replacement file;
    std::string why;
    if (!dir.Begin(name, file, why))
        return QStringLiteral("Can't create file: %1: %2").arg(path, QString::fromLocal8Bit(why.c_str()));
    const PrefTabTable& prefs = tab.Prefs;
    const int32_t count = std::clamp<int32_t>(prefs.columnCount, 0, FIELD_Nums);
    const RowFormatter formatter(std::vector<int32_t>(prefs.columns, prefs.columns + count),
                                 tab.Table->TimeNormalised(), prefs.IndentText != 0,
                                 RowFormatter::ExportStyle(false, tab.Table->RowCount()));
    QString block = formatter.Header();
    // Lines are about as long as the header; the block keeps its room.
    block.reserve(BLOCK_ROWS * (block.size() + 8));
    bool written = true;
    int32_t pending = 0;
    for (const auto& span : spans) {
        for (int32_t row = span.first; row <= span.second && written; ++row) {
            formatter.AppendRow(block, row, *tab.Table->GetRecord(row));
            if (++pending == BLOCK_ROWS) {
                const QByteArray bytes = block.toLocal8Bit();
                written = ZmLib::WriteFully(file.fd, bytes.constData(), size_t(bytes.size()), why);
                block.resize(0);
                pending = 0;
            }
        }
    }
    const QByteArray bytes = block.toLocal8Bit();
    written = written && ZmLib::WriteFully(file.fd, bytes.constData(), size_t(bytes.size()), why);
    if (!written)
        dir.Discard(file);
    if (written && dir.Commit(file, name, why))
        return QString();
    return QStringLiteral("Can't write file: %1: %2").arg(path, QString::fromLocal8Bit(why.c_str()));
}

// Both files written at once, each by its own thread (the tables are only
// read); false after telling the user of every file that failed.
bool WriteBoth(const ZmLib::PrivateDir& dir, const TabTable& a, const std::string& nameA, const Spans& spansA,
               const TabTable& b, const std::string& nameB, const Spans& spansB)
{
    QString errorA;
    std::thread worker([&] { errorA = WriteRows(a, dir, nameA, spansA); });
    const QString errorB = WriteRows(b, dir, nameB, spansB);
    worker.join();
    for (const QString& error : {errorA, errorB})
        if (!error.isEmpty())
            Tell(error);
    return errorA.isEmpty() && errorB.isEmpty();
}

// A marked dock as a table document (a graph stands for the table tab it
// was made from); null for anything else.
TabTable* TableOf(TearOffTabDock* dock)
{
    if (auto* table = qobject_cast<TabTable*>(dock))
        return table;
    if (dock && TearOffMain::Me)
        for (TearOffTabDock* other : TearOffMain::Me->Docks)
            if (auto* table = qobject_cast<TabTable*>(other); table && table->GraphTab == dock)
                return table;
    return nullptr;
}

} // namespace

void TabTable::CompareTabs()
{
    TearOffMain* main = TearOffMain::Me;
    const QList<TearOffTabDock*> marked = main ? main->MarkedDocks() : QList<TearOffTabDock*>();
    if (marked.isEmpty()) {
        KxvShell().ShowStatus(QStringLiteral("No tab marked for comparison: mark one with Ctrl and a click"), true);
        return;
    }
    TabTable* a = TableOf(marked[0]);
    TabTable* b = marked.size() == 2 ? TableOf(marked[1]) : a == this ? TableOf(TearOffMain::CurrentDock) : this;
    if (!a || !b) {
        KxvShell().ShowStatus(QStringLiteral("Only table documents can be compared"), true);
        return;
    }
    ZmLib::PrivateDir dir;
    if (!HoldOrTell(dir))
        return;
    const std::string fileA = FileName(BaseName(*a));
    std::string fileB = FileName(BaseName(*b));
    // Two documents of one name (one file opened from two folders) must not
    // share a file, or they compare as identical.
    if (fileB == fileA)
        fileB = FileName(BaseName(*b) + QStringLiteral("-2"));
    if (!WriteBoth(dir, *a, fileA, AllRows(*a), *b, fileB, AllRows(*b)))
        return;
    if (FirstIsLeft(a, b))
        StartDiff(dir, fileA, fileB);
    else
        StartDiff(dir, fileB, fileA);
}

void TabTable::CompareTwoRanges()
{
    // Only range lines count: a bookmark line among the chosen ones has no
    // rows to compare.
    std::vector<OutlineEntry> ranges;
    for (const OutlineEntry& entry : OutlineEntries)
        if (entry.last >= 0)
            ranges.push_back(entry);
    if (ranges.size() < 2) {
        KxvShell().ShowStatus(QStringLiteral("Choose two ranges in the Outline to compare them"), true);
        return;
    }
    ZmLib::PrivateDir dir;
    if (!HoldOrTell(dir))
        return;
    const QString base = BaseName(*this) + QStringLiteral("-range#%1");
    const std::string first = FileName(base.arg(ranges[0].line));
    const std::string second = FileName(base.arg(ranges[1].line));
    if (WriteBoth(dir, *this, first, RangeRows(*this, ranges[0]), *this, second, RangeRows(*this, ranges[1])))
        StartDiff(dir, first, second);
}

bool TabBase::OffersCompareTabs()
{
    const TearOffMain* main = TearOffMain::Me;
    if (!main)
        return false;
    const int marked = main->MarkedDocks().size();
    const bool documentCurrent = qobject_cast<TabBase*>(TearOffMain::CurrentDock) != nullptr;
    return (marked == 1 && documentCurrent) || (marked == 2 && !documentCurrent);
}
