// The main window with a prompt that also answers the open and save
// dialogs, generated files in a scratch folder, an empty recent-file list
// and the import formats restored after each test.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>

#include "kxlib/table/kxblockmem.h"
#include "kxviewer/actiontable.h"
#include "kxviewer/importdialog.h"
#include "kxviewer/importformat.h"
#include "kxviewer/kxvstartup.h"
#include "kxviewer/loadmemory.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/table/tabbase.h"
#include "kxviewer/table/tabtable.h"
#include "kxviewer/table/tabtableview.h"
#include "shellfixture.h"
#include "tests/kxlib/kxfilegen.h"

namespace shelltest {

struct DialogCall {
    QString caption;
    QString dir;
    QString filter;
};

class FilePrompt : public ScriptedPrompt {
public:
    QString OpenFileName(QWidget*, const QString& caption, const QString& dir, const QString& filter) override
    {
        openCalls.push_back({caption, dir, filter});
        return Next();
    }
    QString SaveFileName(QWidget*, const QString& caption, const QString& dir, const QString& filter,
                         const QString&) override
    {
        saveCalls.push_back({caption, dir, filter});
        return Next();
    }

    // The program's own modal dialogs run through this; without it they are
    // rejected unseen.
    int Exec(QDialog* dialog) override
    {
        execTitles.push_back(dialog->windowTitle());
        return onExec ? onExec(dialog) : int(QDialog::Rejected);
    }

    std::deque<QString> files;
    std::function<int(QDialog*)> onExec;
    std::vector<QString> execTitles;
    std::vector<DialogCall> openCalls;
    std::vector<DialogCall> saveCalls;

private:
    QString Next()
    {
        if (files.empty())
            return QString();
        const QString next = files.front();
        files.pop_front();
        return next;
    }
};

class OpenTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        savedFormats = ImportFormats;
        savedFilter = PrefGlobal::LastOpenFilter;
        PrefGlobal::LastOpenFilter.clear();
        SetRecent({});
        MainWindowTest::SetUp();
    }
    void TearDown() override
    {
        MainWindowTest::TearDown();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ImportFormats = savedFormats;
        PrefGlobal::LastOpenFilter = savedFilter;
        MainWindow::OpenWithoutRecent = false;
        SetRecent({});
        LoadMemory::SetAvailableSource(nullptr);
        KxBlockMemory::SetLimit(0);
    }

    // A generated raw record file in the scratch folder.
    QString RawFile(const QString& name, uint32_t records)
    {
        KxFileGen::Options options;
        options.records = records;
        const QString path = dir.filePath(name);
        EXPECT_TRUE(KxFileGen::WriteTrace(QFile::encodeName(path).constData(), options));
        return path;
    }
    // A syslog text file.
    QString SysLogFile(const QString& name, int lines)
    {
        std::string text;
        for (int i = 0; i < lines; ++i)
            text += "Dec  7 11:00:" + std::to_string(10 + i % 50) + " host1 daemon.info sshd[" +
                    std::to_string(100 + i) + "]: Accepted publickey for user" + std::to_string(i) + "\n";
        const QString path = dir.filePath(name);
        EXPECT_TRUE(KxFileGen::WriteFile(QFile::encodeName(path).constData(), text));
        return path;
    }
    QString Missing(const QString& name) const { return dir.filePath(name); }
    // Lines "a|b|c", which no built-in format matches.
    QString PipeFile(const QString& name, int lines)
    {
        std::string text;
        for (int i = 0; i < lines; ++i)
            text += "a" + std::to_string(i) + "|b|c\n";
        const QString path = dir.filePath(name);
        EXPECT_TRUE(KxFileGen::WriteFile(QFile::encodeName(path).constData(), text));
        return path;
    }
    // A user format "Pipe" for PipeFile's lines, claiming "*.csv"; its index.
    static int32_t AddPipeFormat()
    {
        ImportFormat format;
        format.name = "Pipe";
        format.extension = "csv";
        format.visual = int32_t(ImportFormats.size()) + 1;
        format.fields = {{"TEXT", 0, "(a[0-9].*)"}};
        format.ComposeExpression();
        ImportFormats.push_back(format);
        return int32_t(ImportFormats.size()) - 1;
    }
    // The import dialog, when it comes, answers with the format (the
    // dialog's own choosing is tested with the dialog).
    void ImportDialogChooses(int32_t format)
    {
        files.onExec = [format](QDialog* dialog) {
            auto* editor = qobject_cast<ImportDialog*>(dialog);
            if (editor == nullptr)
                return int(QDialog::Rejected);
            editor->ChosenFormat = format;
            return int(QDialog::Accepted);
        };
    }

    static QStringList Recent() { return QSettings(Org, App).value("recentFileList").toStringList(); }
    static void SetRecent(const QStringList& files) { QSettings(Org, App).setValue("recentFileList", files); }
    // The documents of the window, in dock order.
    std::vector<TabBase*> Documents() const
    {
        std::vector<TabBase*> documents;
        for (TearOffTabDock* dock : window->Docks)
            if (auto* tab = qobject_cast<TabBase*>(dock))
                documents.push_back(tab);
        return documents;
    }
    // Imports each file with the format through the import dialog; later
    // dialogs are rejected again, and those seen are forgotten.
    void ImportWith(int32_t format, const QStringList& paths)
    {
        ImportDialogChooses(format);
        for (const QString& path : paths)
            Trigger(ACT_IMPORT, path);
        files.onExec = nullptr;
        files.execTitles.clear();
    }
    // "app.log" of 5 lines and "messages" of 4, imported with the Pipe
    // format: its index and the two paths.
    std::tuple<int32_t, QString, QString> ImportPipeFiles()
    {
        const int32_t pipe = AddPipeFormat();
        const QString log = PipeFile("app.log", 5);
        const QString bare = PipeFile("messages", 4);
        ImportWith(pipe, {log, bare});
        return {pipe, log, bare};
    }
    // Triggers a main-window action with the next dialog answering path.
    void Trigger(int actionId, const QString& path)
    {
        files.files.push_back(path);
        window->Actions[actionId]->trigger();
    }
    // Opens a generated raw record file as the current document.
    TabTable* OpenRaw(const QString& name, uint32_t records)
    {
        Trigger(ACT_OPEN, RawFile(name, records));
        return window->CurrentTabTable();
    }
    // Makes the tab current with the keyboard focus in its table, as after
    // a click into the rows.
    static void FocusTable(TabTable* tab)
    {
        QApplication::setActiveWindow(tab->window());
        TearOffMain::Me->SetTabActive(tab, false);
        tab->View->setFocus();
        QCoreApplication::processEvents();
        ASSERT_EQ(QApplication::focusWidget(), tab->View);
    }

    QTemporaryDir dir;
    FilePrompt files;
    ImportFormatList savedFormats;
    std::string savedFilter;

private:
    static inline const QString Org = QString::fromLatin1(KxvStartup::ORGANISATION);
    static inline const QString App = QString::fromLatin1(KxvStartup::APP_NAME);
};

} // namespace shelltest
