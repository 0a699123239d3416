// What the benchmarks of the document tabs share: a main window without a
// shell, descriptors for every action, an offscreen platform with a
// temporary home, and a generated raw record file.
#pragma once

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>

#include <QApplication>
#include <QTemporaryDir>

#include "kxviewer/prefdata.h"
#include "kxviewer/table/guiicons.h"
#include "tearoffwidget/comaction.h"
#include "tearoffwidget/tearoffmain.h"
#include "tests/kxlib/kxfilegen.h"

namespace Bench {

class BenchMain : public TearOffMain {
public:
    explicit BenchMain(QApplication* app) : TearOffMain(app) {}
    void SaveDocks() override {}
    void OnCloseAccepted() override {}
    void UpdateActions() override {}
};

// The default preferences and the shared pixmaps in place, then a bench main
// window of 1280 x 800, shown and painted once.
struct ShownWindow {
    explicit ShownWindow(QApplication* app) : window((DefaultLook(), app))
    {
        window.resize(1280, 800);
        window.show();
        QApplication::processEvents();
    }
    static void DefaultLook()
    {
        PrefGlobal::SetDefaults();
        LoadSharedPixmaps();
    }
    BenchMain window;
};

// Descriptors for every action id, published while alive.
struct BenchActions {
    explicit BenchActions(std::initializer_list<int> checkable = {})
    {
        for (int i = 0; i < ComActionCount; ++i)
            entries[i] = {0, 0, 0, nullptr, nullptr, "Action", nullptr};
        for (int id : checkable)
            entries[id].checkable = 1;
        ComActionTablePublish(entries, ComActionCount);
    }
    ~BenchActions() { ComActionTablePublish(nullptr, 0); }
    ComAction entries[ComActionCount];
};

// Before the application object: the offscreen platform (unless another is
// asked for) and home folders inside home.
inline void OffscreenHome(const QTemporaryDir& home)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("HOME", home.path().toLocal8Bit().constData(), 1);
    setenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit().constData(), 1);
}

// A generated raw file of records in the folder; empty (and said) on failure.
inline std::string WriteTrace(const QTemporaryDir& folder, uint32_t records)
{
    const std::string path = folder.path().toStdString() + "/bench.kx";
    KxFileGen::Options options;
    options.records = records;
    if (KxFileGen::WriteTrace(path.c_str(), options))
        return path;
    fprintf(stderr, "cannot write %s\n", path.c_str());
    return std::string();
}

// An offscreen application whose home is a temporary folder holding a
// generated raw file of records (trace is empty when it could not be written).
struct OffscreenTraceApp {
    OffscreenTraceApp(int& argc, char** argv, uint32_t records)
        : app((OffscreenHome(home), argc), argv), trace(WriteTrace(home, records))
    {
        setlocale(LC_NUMERIC, "C");
    }
    QTemporaryDir home;
    QApplication app;
    std::string trace;
};

} // namespace Bench
