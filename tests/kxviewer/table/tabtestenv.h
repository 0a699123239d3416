// What the document-tab tests share: a published action table, a main window
// with its two permanent panels, a scripted prompt, recorded shell services
// and tab hooks, a scratch folder, and documents loaded from generated files.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "kxlib/table/kxtable.h"
#include "kxviewer/docloader.h"
#include "kxviewer/table/tabbase.h"
#include "kxviewer/table/tabshell.h"
#include "tests/kxlib/kxfilegen.h"
#include "tests/kxviewer/shellrecorder.h"
#include "tests/tearoffwidget/scriptedprompt.h"
#include "tests/tearoffwidget/tearoffstubs.h"

namespace tabtest {

// Every id has a descriptor; the texts only need to tell actions apart.
class ActionTable {
public:
    ActionTable()
    {
        for (int i = 0; i < ComActionCount; ++i) {
            texts_[i] = "Action " + std::to_string(i);
            entries_[i] = {0, 0, 0, nullptr, nullptr, texts_[i].c_str(), nullptr};
        }
        entries_[42].checkable = 1;
        entries_[98].checkable = 1;
        ComActionTablePublish(entries_, ComActionCount);
    }
    ~ActionTable() { ComActionTablePublish(nullptr, 0); }

    // The published descriptor of an id, to change before actions are made.
    ComAction& Entry(int id) { return entries_[id]; }

private:
    std::string texts_[ComActionCount];
    ComAction entries_[ComActionCount];
};

class RecordingTabShell : public TabShell {
public:
    RecordingTabShell() : previous_(KxvSetTabShell(this)) {}
    ~RecordingTabShell() override { KxvSetTabShell(previous_); }

    void AddRecentFile(const QString& path) override { recent.append(path); }
    void ReturnScriptsPanel(TabBase* tab) override { returned.append(tab); }
    void LastDocumentClosed() override { lastClosed++; }

    QStringList recent;
    QList<TabBase*> returned;
    int lastClosed = 0;

private:
    TabShell* previous_;
};

// The shell recorder that also keeps the status line's texts.
class StatusRecorder : public kxtest::ShellRecorder {
public:
    void ShowStatus(const QString& text, bool, int) override { status.push_back(text.toLocal8Bit().toStdString()); }
    std::string Last() const { return status.empty() ? std::string() : status.back(); }

    std::vector<std::string> status;
};


inline bool Contains(const std::vector<std::string>& lines, const std::string& line)
{
    for (const std::string& each : lines)
        if (each == line)
            return true;
    return false;
}

class TabTest : public MainWithPanelsTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        MainWithPanelsTest::SetUp();
    }

    QString Path(const char* name) const { return dir.path() + QLatin1Char('/') + QLatin1String(name); }

    // A raw record file of n generated records.
    QString WriteKx(const char* name, uint32_t records = 40)
    {
        KxFileGen::Options options;
        options.records = records;
        const QString path = Path(name);
        EXPECT_TRUE(KxFileGen::WriteTrace(QFile::encodeName(path).constData(), options));
        return path;
    }

    // The file loaded as the main window loads it; null on failure.
    KxTable* Load(const QString& path, int32_t type, PrefTabTable* prefs = nullptr)
    {
        DocLoader loader(QFileInfo(path), type);
        KxTable* table = loader.Load(-1);
        if (prefs)
            *prefs = loader.TabPrefs();
        return table;
    }

    // A document over a loaded file, docked beside the others.
    TabBase* Open(const QString& path, int32_t type)
    {
        PrefTabTable prefs;
        KxTable* table = Load(path, type, &prefs);
        if (!table)
            return nullptr;
        auto* tab = new TabBase(table, prefs, nullptr);
        tab->SourceType = type;
        Dock(tab);
        return tab;
    }

    // Into the group of the first docked document, or a new group.
    void Dock(TabBase* tab)
    {
        for (int i = 2; i < main->Docks.size(); ++i) {
            if (main->Docks[i] != tab && main->Docks[i]->TabWidget) {
                main->TabifyTearOffDock(main->Docks[i], tab);
                return;
            }
        }
        main->AddTearOffDock(Qt::TopDockWidgetArea, tab, 0);
    }

    QTemporaryDir dir;
    ActionTable actions;
    ScriptedPrompt prompt;
    PromptGuard guard{&prompt};
    StatusRecorder shell;
    RecordingTabShell hooks;
};

} // namespace tabtest
