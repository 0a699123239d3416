// Saving a document as a ".kxl" file.
#include <cstring>
#include <vector>

#include <QFile>
#include <QFileInfo>
#include <QSignalBlocker>
#include <QTableWidget>

#include "kxlib/reader/filekxl.h"
#include "kxlib/table/kxtable.h"
#include "kxlib/table/kxsearchexpr.h"
#include "kxviewer/preftable.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/inforows.h"
#include "kxviewer/table/savefile.h"
#include "kxviewer/table/tabbase.h"
#include "kxviewer/table/tabshell.h"
#include "tearoffwidget/tearofftabwidget.h"
#include "utils/common/inifile.h"
#include "utils/common/textio.h"

namespace {
// The document's view block: its preferences, its table's and its pinned
// expressions.
std::string ViewBlock(const PrefTabTable& tab, const PrefKxTable& kx, const QList<TabBase::FixedHighlight*>& fixed)
{
    std::vector<PinnedPhrase> pinned;
    for (const TabBase::FixedHighlight* highlight : fixed) {
        if (int32_t(pinned.size()) == PINNED_MAX)
            break;
        PinnedPhrase phrase;
        phrase.phrase = highlight->text.toLocal8Bit().toStdString();
        phrase.color = int32_t(highlight->color.rgb() & 0xFFFFFF);
        phrase.mode = int32_t(highlight->mode);
        phrase.matchCase = highlight->matchCase;
        pinned.push_back(phrase);
    }
    ZmLib::IniBase ini;
    PrefTable::Save(false, ini, tab, kx, pinned.data(), int32_t(pinned.size()));
    ZmLib::TextBuf buffer;
    if (!ini.WriteToBuf(buffer) || !buffer.Buffer)
        return std::string();
    return buffer.Buffer->c_str();
}

// Folds bytes into a running hash (64-bit FNV-1a).
uint64_t Fold(uint64_t hash, const void* data, size_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ bytes[i]) * 0x100000001B3u;
    // The length too, so that bytes moving from one part to the next count.
    return (hash ^ size) * 0x100000001B3u;
}

// Case is ignored as the opener ignores it: "x.KXL" opens as a document.
QString WithKxlSuffix(const QString& name)
{
    return name.endsWith(QLatin1String(".kxl"), Qt::CaseInsensitive) ? name : name + QLatin1String(".kxl");
}
} // namespace

uint64_t TabBase::WorkHash() const
{
    uint64_t hash = 0xCBF29CE484222325u;
    std::vector<uint8_t> section;
    Table->SerializeBookmarks(section);
    hash = Fold(hash, section.data(), section.size());
    section.clear();
    Table->SerializeSelections(section);
    hash = Fold(hash, section.data(), section.size());
    for (const FixedHighlight* highlight : FixedHighlights) {
        const QByteArray text = highlight->text.toUtf8();
        hash = Fold(hash, text.constData(), size_t(text.size()));
        const uint32_t look[] = {highlight->color.rgb(), highlight->mode, highlight->matchCase};
        hash = Fold(hash, look, sizeof look);
    }
    return hash;
}

uint64_t TabBase::SavedContentHash() const
{
    // Moving through the rows is no change worth a question.
    PrefKxTable kx = Table->Prefs();
    kx.CurPossition = -1;
    const std::string ini = ViewBlock(Prefs, kx, FixedHighlights);
    uint64_t hash = Fold(WorkHash(), ini.data(), ini.size());
    hash = Fold(hash, Table->Name(), std::strlen(Table->Name()));
    std::vector<uint8_t> section;
    Table->SerializeFiltered(section);
    return Fold(hash, section.data(), section.size());
}

void TabBase::MarkSaved()
{
    SavedHash = SavedContentHash();
    SavedWorkHash = WorkHash();
}

void TabBase::SetPartial(const QString& reason)
{
    PartialReason = reason;
    SetTabTip(reason.isEmpty() ? QString()
                               : QStringLiteral("%1: the load was incomplete: %2 (partial)")
                                     .arg(QFile::decodeName(Table->Path()), reason));
}

bool TabBase::Save()
{
    if (SourceType == SOURCE_KXL && !IsPartial())
        return SaveAsKxlFile(QFile::decodeName(Table->Path()), Table->Modified());
    return SaveAs();
}

bool TabBase::SaveOnClose()
{
    return Save();
}

bool TabBase::SaveAs()
{
    // A document file is known by its suffix alone: a name that has another
    // one ("srv.01") still gets ".kxl", in the dialog and after it.
    const Hold hold(this);
    const QString chosen = AskSaveFileName(QString(), QStringLiteral("Choose KXL file to save"),
                                           QStringLiteral("KXL Files *.kxl"), QStringLiteral("kxl"),
                                           WithKxlSuffix(QString::fromLocal8Bit(Table->Name())));
    if (chosen.isEmpty() || hold.Gone())
        return false;
    const QString path = WithKxlSuffix(chosen);
    if (IsPartial() && QFileInfo(path) == QFileInfo(QFile::decodeName(Table->Path()))) {
        KxvShell().Information(
            QStringLiteral("Only part of %1 was loaded: save it under another name").arg(path), true);
        return false;
    }
    // The document becomes the file only once the file holds it; a later
    // Save then updates that file, not the one it came from.
    if (!SaveAsKxlFile(path, true))
        return false;
    Table->SetPath(QFile::encodeName(path).constData());
    SourceType = SOURCE_KXL;
    SetPartial(QString());
    const QString name = QFileInfo(path).completeBaseName();
    Table->SetName(name.toLocal8Bit().constData());
    setWindowTitle(name);
    if (TabWidget) {
        const int index = TabWidget->indexOf(this);
        if (index >= 0)
            TabWidget->setTabText(index, name);
    }
    if (InfoTable) {
        const QSignalBlocker blocker(InfoTable);
        InfoTable->item(INFO_NAME, 1)->setText(name);
        InfoTable->item(INFO_SOURCE, 1)->setText(path);
    }
    MarkSaved();
    return true;
}

bool TabBase::SaveAsKxlFile(const QString& path, bool writeWhole)
{
    ZmLib::KxFuncGuard trace(KxvTearoffChannel, ZmLib::KX_LEVEL_NOTICE, "TabBase::SaveAsKxlFile");
    KxvShell().ShowStatus(QStringLiteral("Saving document %1 ...").arg(path));
    const std::string ini = ViewBlock(Prefs, Table->Prefs(), FixedHighlights);
    const QByteArray bytes = QFile::encodeName(path);
    FileKxl writer(bytes.constData());

    bool saved = false;
    if (!writeWhole && !Table->Modified() && QFileInfo(path).isFile()) {
        saved = writer.UpdateMetadata(*Table, ini.data(), ini.size());
        if (!saved)
            KxvShell().AddToSystemLog(
                QStringLiteral("File '%1' update failure, will be recreated!").arg(QFile::decodeName(bytes)));
    }
    if (!saved)
        saved = writer.CreateFile(*Table, ini.data(), ini.size());
    if (!saved) {
        const QString text =
            QStringLiteral("File %1 not saved: %2").arg(path, QString::fromLocal8Bit(writer.Failure().c_str()));
        KxvShell().AddToSystemLog(text);
        // In place of "Saving document", which would stay there.
        KxvShell().ShowStatus(text);
        KxvShell().Information(text, true);
        return false;
    }
    Table->SetModified(false);
    MarkSaved();
    UpdateTitle();
    KxvTabShell().AddRecentFile(path);
    const QString done = QStringLiteral("Document %1 saved").arg(path);
    KxvShell().AddToSystemLog(done);
    KxvShell().ShowStatus(done);
    return true;
}
