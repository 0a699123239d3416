// A main window and documents that count the framework's calls.
#pragma once

#include <QApplication>
#include <QList>
#include <QPoint>

#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearofftabdock.h"

class TestMain : public TearOffMain {
public:
    TestMain() : TearOffMain(qApp) {}
    void SaveDocks() override { saveDocks++; }
    void OnCloseAccepted() override { closeAccepted++; }
    void UpdateActions() override { updateActions++; }

    int saveDocks = 0;
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
