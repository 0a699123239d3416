// The road from a file name to a docked document: the Open and Import
// commands with their file dialog, the recent-file list, the choice of the
// reader, the blank document and the program's own log file as a document.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <string>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QPointer>
#include <QSettings>

#include "kxlib/table/kxtable.h"
#include "kxviewer/docloader.h"
#include "kxviewer/importdialog.h"
#include "kxviewer/kxvglobals.h"
#include "kxviewer/kxvstartup.h"
#include "kxviewer/mainwindow.h"
#include "kxviewer/openfilekind.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/tabtable.h"
#include "tearoffwidget/tearoffdockwidget.h"
#include "tearoffwidget/tearoffprompt.h"
#include "tearoffwidget/tearofftabwidget.h"
#include "tearoffwidget/tearofftrace.h"
#include "utils/kx/pkx.h"
#include "utils/osal/readpath.h"

bool MainWindow::OpenWithoutRecent = false;

namespace {

const QString RecentFilesKey = QStringLiteral("recentFileList");

// Beside the list, so that settings written before it was kept still read:
// the name of the import format each listed file was read with.
const QString RecentFormatsKey = QStringLiteral("recentFileFormats");

// QSettings reads the user's own file in the user's own configuration
// folder, which no other user can put anything in: no read check.
QStringList ReadRecentFiles()
{
    const QSettings store(QString::fromLatin1(KxvStartup::ORGANISATION), QString::fromLatin1(KxvStartup::APP_NAME));
    return store.value(RecentFilesKey).toStringList();
}

// Formats of files no longer listed go with them.
void WriteRecentFiles(const QStringList& files)
{
    QSettings store(QString::fromLatin1(KxvStartup::ORGANISATION), QString::fromLatin1(KxvStartup::APP_NAME));
    store.setValue(RecentFilesKey, files);
    QVariantMap formats = store.value(RecentFormatsKey).toMap();
    for (auto it = formats.begin(); it != formats.end();)
        it = files.contains(it.key()) ? std::next(it) : formats.erase(it);
    store.setValue(RecentFormatsKey, formats);
}

std::string RecentFormat(const QString& path)
{
    const QSettings store(QString::fromLatin1(KxvStartup::ORGANISATION), QString::fromLatin1(KxvStartup::APP_NAME));
    return store.value(RecentFormatsKey).toMap().value(path).toString().toLocal8Bit().toStdString();
}

// Only a listed file keeps a format; an empty one is forgotten.
void KeepRecentFormat(const QString& path, const std::string& format)
{
    QSettings store(QString::fromLatin1(KxvStartup::ORGANISATION), QString::fromLatin1(KxvStartup::APP_NAME));
    if (!store.value(RecentFilesKey).toStringList().contains(path))
        return;
    QVariantMap formats = store.value(RecentFormatsKey).toMap();
    if (format.empty())
        formats.remove(path);
    else
        formats.insert(path, QString::fromLocal8Bit(format.c_str()));
    store.setValue(RecentFormatsKey, formats);
}

bool InMainHost(const TearOffTabDock* dock)
{
    const TearOffDockWidget* group = dock->TabWidget != nullptr ? dock->TabWidget->DockWidget : nullptr;
    return group != nullptr && group->Host == TearOffMain::MainHost;
}

// Whether the file opens for reading at all, by the loader's own check. What
// does not (a pipe, a socket, a device, a file the user may not read) stays
// out of the recent-file list; the load that follows says why.
bool OpensToRead(const QString& path)
{
    std::string refusal;
    const int fd = ZmLib::OpenToRead(QFile::encodeName(path).constData(), refusal);
    if (fd < 0)
        return false;
    close(fd);
    return true;
}

} // namespace

void MainWindow::LoadFile(bool needask) { OpenFromDialog(needask ? OPEN_ASK : OPEN_PATTERNS_OR_ASK); }

void MainWindow::LoadFile() { LoadFile(false); }

void MainWindow::ImportFile() { OpenFromDialog(OPEN_ASK); }

void MainWindow::OpenFromDialog(int32_t mode)
{
    const QString path = GetOpenFileName(false);
    if (path.isEmpty())
        return;
    QDir::setCurrent(QFileInfo(path).absolutePath());
    OpenFile(path, MainHost, -1, mode);
    PrefGlobal::Save();
}

QString MainWindow::GetOpenFileName(bool importOnly)
{
    const QString filter = OpenFileKind::Filter(PrefGlobal::LastOpenFilter, importOnly);
    const QString path = Prompt().OpenFileName(this, QStringLiteral("Open File"), QDir::currentPath(), filter);
    if (path.isEmpty())
        return QString();
    PrefGlobal::LastOpenFilter = OpenFileKind::RememberedFilter(QFileInfo(path).suffix(), importOnly);
    return path;
}

TabTable* MainWindow::OpenFile(const QString& path, QWidget* parent, int32_t loaderArgument, int32_t mode,
                               const std::string& format, bool place)
{
    if (!CheckFileAndAddRecent(path))
        return nullptr;
    std::unique_ptr<DocLoader> loader = ImportFile(path, loaderArgument, mode, true, format);
    if (!loader)
        return nullptr;
    if (!loader->ShowViewStage()) {
        loader->Table()->Release();
        loader->ReportCanceled();
        return nullptr;
    }
    // The tab takes over the loader's reference on the table. Every turn of
    // the event loop from here on may end the open (Abort) or take the tab
    // (its parent going): what is left of it goes, and nothing of it is
    // touched once it is gone.
    const QPointer<TabTable> tab =
        new TabTable(loader->Table(), loader->TabPrefs(), parent, TabBase::OutlineFill::LATER);
    tab->Unseen = true;
    const auto canceled = [&loader, &tab] {
        delete tab.data();
        loader->ReportCanceled();
        return nullptr;
    };
    if (!loader->AdvanceViewStage() || !tab)
        return canceled();
    // The Outline reads every row and matches the pinned phrases: made aside
    // while the event loop turns, before the view and the idle refresh
    // (which would make it too) start.
    std::atomic<int32_t> outlineDone{0};
    std::vector<OutlineLine> outline = tab->MakeOutlineLinesAside(
        [&loader, &tab, &outlineDone] {
            return loader->TurnViewStage(outlineDone, OutlineBuilder::BUILD_STEPS) && !tab.isNull();
        },
        [&outlineDone](int32_t done, int32_t) { outlineDone = std::max(outlineDone.load(), done); });
    if (!loader->TurnViewStage(OutlineBuilder::BUILD_STEPS, OutlineBuilder::BUILD_STEPS) || !tab)
        return canceled();
    tab->ShowOutlineLines(std::move(outline));
    // Showing the Outline and making the view are each a step: a turn
    // between them.
    if (!loader->AdvanceViewStage() || !tab)
        return canceled();
    tab->SourceType = loader->TypeId();
    if (loader->TypeId() >= 0)
        tab->ImportFormatName = ImportFormats[size_t(loader->TypeId())].name;
    tab->SetPartial(loader->Incomplete());
    tab->Init(IdleTimer);
    if (!loader->AdvanceViewStage() || !tab)
        return canceled();
    // The bar is full, and gone, before the document shows.
    if (!loader->EndProgress() || !tab)
        return canceled();
    tab->Unseen = false;
    loader->ReportSuccess();
    KeepRecentFormat(path, tab->ImportFormatName);
    if (place)
        SetNewDockPosition(tab);
    return tab;
}

bool MainWindow::CheckFileAndAddRecent(const QString& path)
{
    const bool exists = QFileInfo::exists(path);
    if (OpenWithoutRecent) {
        OpenWithoutRecent = false;
        if (!exists) {
            const QString text = QStringLiteral("File \"%1\" doesn't exist.").arg(path);
            AddToSystemLog(text);
            Information(text, true);
        }
        return exists;
    }

    setWindowFilePath(path);
    QStringList files = ReadRecentFiles();
    files.removeAll(path);
    if (exists) {
        if (OpensToRead(path))
            files.prepend(path);
    } else {
        const int answer = Question(QStringLiteral("File \"%1\" doesn't exist.\nTo remove it from the recent file list?")
                                        .arg(path),
                                    QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
        if (answer == QMessageBox::No)
            files.prepend(path);
    }
    while (files.size() > RECENT_FILES_MAX)
        files.removeLast();
    WriteRecentFiles(files);
    UpdateRecentFileActions();
    return exists;
}

std::unique_ptr<DocLoader> MainWindow::ImportFile(const QString& path, int32_t loaderArgument, int32_t mode,
                                                  bool reportLater, const std::string& format)
{
    const QFileInfo file(path);
    bool byType = false;
    int32_t code = FileTypeBySuffix(file.suffix().toLocal8Bit().constData(), &byType);
    bool claimed = false;
    if (!byType) {
        code = ImportDialog::CHOSEN_NONE;
        if (!format.empty()) {
            code = OpenFileKind::FormatNamed(format);
            if (code < 0)
                AddToSystemLog(QStringLiteral("Import format \"%1\" that file %2 was read with no longer exists; "
                                              "it is opened as its suffix says")
                                   .arg(QString::fromLocal8Bit(format.c_str()), path));
        }
        if (code < 0 && (mode == OPEN_PATTERNS_OR_ASK || mode == OPEN_PATTERNS_ONLY)) {
            code = OpenFileKind::FormatForSuffix(file.suffix());
            claimed = code >= 0;
        }
        if (code < 0 && mode == OPEN_PATTERNS_ONLY) {
            AddToSystemLog(QStringLiteral("Import format for file '%1' not found").arg(path));
            return nullptr;
        }
        if (code < 0 && mode == OPEN_CHOSEN) {
            code = importDialog_ != nullptr ? importDialog_->ChosenFormat : ImportDialog::CHOSEN_NONE;
        } else if (code < 0) {
            // What cannot be read at all is not offered for import: it is
            // told at once, as a failed open tells it.
            if (DocLoader(file, code).RefuseUnreadable())
                return nullptr;
            ImportPrefDialog(path);
            code = importDialog_->ChosenFormat;
        }
        if (code < 0 || size_t(code) >= ImportFormats.size()) {
            AddToSystemLog(QStringLiteral("Unknown import type for file %1 , import stopped").arg(path));
            return nullptr;
        }
    }
    auto loader = std::make_unique<DocLoader>(file, code);
    if (reportLater)
        loader->ReportSuccessLater();
    if (loader->Load(loaderArgument) == nullptr)
        return nullptr;
    if (claimed && mode == OPEN_PATTERNS_OR_ASK && loader->NoLineMatched() && OfferAnotherFormat(path, code)) {
        loader->Table()->Release();
        loader.reset();
        return ImportFile(path, loaderArgument, OPEN_ASK, reportLater);
    }
    return loader;
}

bool MainWindow::OfferAnotherFormat(const QString& path, int32_t claimedBy)
{
    const QString text = QStringLiteral("No line of file \"%1\" matched the import format \"%2\" that claims it.\n"
                                        "Import it with another format?")
                             .arg(path, QString::fromLocal8Bit(ImportFormats[size_t(claimedBy)].name.c_str()));
    return Question(text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
}

void MainWindow::ImportPrefDialog(const QString& FileToOpen)
{
    if (importDialog_ == nullptr)
        importDialog_ = new ImportDialog(this);
    importDialog_->setWindowTitle(FileToOpen.isEmpty() ? QStringLiteral("Import Formats ")
                                                       : QStringLiteral("Import File"));
    importDialog_->SetTestFile(FileToOpen);
    // The list may have changed since the last run.
    importDialog_->FillFormatTree(-1);
    importDialog_->ChosenFormat = ImportDialog::CHOSEN_NONE;
    Prompt().Exec(importDialog_);
}

void MainWindow::ImportPrefDialog() { ImportPrefDialog(QString()); }

void MainWindow::ForgetImportEditor()
{
    if (importDialog_ != nullptr)
        importDialog_->deleteLater();
    importDialog_ = nullptr;
}

void MainWindow::OpenRecentFile()
{
    auto* action = qobject_cast<QAction*>(sender());
    if (action == nullptr)
        return;
    const QString path = action->data().toString();
    OpenFile(path, MainHost, -1, OPEN_PATTERNS_OR_ASK, RecentFormat(path));
    PrefGlobal::Save();
}

void MainWindow::UpdateRecentFileActions()
{
    const QStringList files = ReadRecentFiles();
    recentFilesMenu_->clear();
    // Later: the entry being triggered may be among them.
    for (QAction* old : recentFileActions_)
        old->deleteLater();
    recentFileActions_.clear();
    const int count = std::min(int(files.size()), RECENT_FILES_MAX);
    for (int i = 0; i < count; ++i) {
        auto* action = new QAction(QStringLiteral("&%1 %2").arg(QString::number(i + 1), files[i]), this);
        action->setData(files[i]);
        Connect(action, SIGNAL(triggered()), this, SLOT(OpenRecentFile()));
        recentFilesMenu_->addAction(action);
        recentFileActions_.append(action);
    }
    recentFilesMenu_->setEnabled(count > 0);
}

void MainWindow::NewBlankDocument()
{
    auto* table = new KxTable(nullptr, TabBase::NewDocumentName().toLocal8Bit().constData(), PrefKxTable::Default());
    auto* tab = new TabTable(table, PrefTabTable::Default(), MainHost);
    tab->SourceType = TabBase::SOURCE_BUILT;
    tab->Init(IdleTimer);
    SetNewDockPosition(tab);
}

void MainWindow::SetNewDockPosition(TabBase* tab)
{
    TEAROFF_TRACE(ZmLib::KX_LEVEL_INFO, "MainWindow::SetNewDockPosition");
    // The list holds the two system docks first and the new tab last.
    TearOffTabDock* beside = nullptr;
    if (Docks.size() >= 4) {
        if (CurrentTabBase() != nullptr && CurrentDock != tab && InMainHost(CurrentDock))
            beside = CurrentDock;
        for (int i = int(Docks.size()) - 2; beside == nullptr && i >= 2; --i)
            if (Docks[i] != tab && InMainHost(Docks[i]))
                beside = Docks[i];
    }
    if (beside != nullptr)
        TabifyTearOffDock(beside, tab);
    else
        AddTearOffDock(Qt::TopDockWidgetArea, tab, 0);
    SaveDocks();
}

void MainWindow::CreateDocFromMyDbg()
{
    // The log file's output commits each record as it writes it, so the
    // file already holds everything logged.
    if (ZmLib::PKX::FindOutput(ZmLib::KX_OUT_FILE) == nullptr) {
        Information(QStringLiteral("Debug log file is disabled"), true);
        return;
    }
    const QString path = QFile::decodeName(PrefGlobal::LogFilePath().c_str());
    OpenWithoutRecent = true;
    if (OpenFile(path, MainHost, -1, OPEN_PATTERNS_ONLY)) {
        PrefGlobal::Save();
        return;
    }
    const QString text = QStringLiteral("Error opening file ") + path;
    AddToSystemLog(text);
    Information(text, true);
}
