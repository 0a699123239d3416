// A main window and documents that count the framework's calls.
#pragma once

#include <functional>
#include <memory>

#include <QApplication>
#include <QCoreApplication>
#include <QList>
#include <QPoint>
#include <gtest/gtest.h>

#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearoffsecondary.h"
#include "tearoffwidget/tearofftabdock.h"

// A secondary window whose left button is down when the test says so.
class ScriptedSecondary : public TearOffSecondary {
public:
    using TearOffSecondary::TearOffSecondary;
    using TearOffSecondary::eventFilter;
    bool buttonDown = false;

protected:
    bool LeftButtonDown() const override { return buttonDown; }
};

class TestMain : public TearOffMain {
public:
    TestMain() : TearOffMain(qApp) {}
    QMainWindow* CreateSecondary() override { return new ScriptedSecondary(this); }
    void SaveDocks() override
    {
        saveDocks++;
        if (onSaveDocks)
            onSaveDocks();
    }
    void OnCloseAccepted() override { closeAccepted++; }
    void UpdateActions() override { updateActions++; }

    int saveDocks = 0;
    std::function<void()> onSaveDocks;
    int closeAccepted = 0;
    int updateActions = 0;
};

class StubDoc : public TearOffTabDock {
public:
    StubDoc() : TearOffTabDock(nullptr) {}

    void ShowTabMenu(QPoint globalPos) override { menus.append(globalPos); }
    bool IsModified() override { return modified; }
    bool CanCloseSilently() override { return silent; }
    bool MayClose() override { return mayClose; }
    void TabRemoved() override { removed++; }
    bool SaveOnClose() override
    {
        saves++;
        return saveSucceeds;
    }
    void DiscardChanges() override { discards++; }
    void ChangeActive(bool active) override { (active ? activated : deactivated)++; }

    bool modified = false;
    bool silent = true;
    bool mayClose = true;
    bool saveSucceeds = true;
    int removed = 0;
    int saves = 0;
    int discards = 0;
    QList<QPoint> menus;
    int activated = 0;
    int deactivated = 0;
};

// Runs the deleteLater calls that closing queued.
inline void FlushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// A shown main window whose first two docks are the permanent panels.
class MainWithPanelsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        main = std::make_unique<TestMain>();
        main->resize(800, 600);
        main->show();
        for (StubDoc*& panel : panels) {
            panel = new StubDoc;
            main->AddTearOffDock(Qt::BottomDockWidgetArea, panel, TearOffTabDock::ModePanel);
        }
    }
    void TearDown() override
    {
        main.reset();
        FlushDeletes();
    }

    // Documents tabified into one group of the main host.
    QList<StubDoc*> AddDocuments(int count, bool modified)
    {
        QList<StubDoc*> docs;
        for (int i = 0; i < count; ++i) {
            auto* doc = new StubDoc;
            doc->modified = modified;
            if (docs.isEmpty())
                main->AddTearOffDock(Qt::TopDockWidgetArea, doc, 0);
            else
                main->TabifyTearOffDock(docs.first(), doc);
            docs.append(doc);
        }
        return docs;
    }

    std::unique_ptr<TestMain> main;
    StubDoc* panels[2] = {};
};
