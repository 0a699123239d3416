// What the table-tab tests share: table tabs over generated files or over
// records built in memory, docked and shown in the test main window, with
// the shared pixmaps and the default fonts loaded.
#pragma once

#include <vector>

#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QTest>

#include "kxviewer/prefdata.h"
#include "kxviewer/table/guiicons.h"
#include "kxviewer/table/tabtable.h"
#include "kxviewer/table/tabtableview.h"
#include "tabtestenv.h"
#include "tests/kxlib/table_fixtures.h"

namespace tabletest {

class TableTabTest : public tabtest::TabTest {
protected:
    void SetUp() override
    {
        tabtest::TabTest::SetUp();
        PrefGlobal::SetDefaults();
        LoadSharedPixmaps();
        savedTab = PrefTabTable::Default();
        savedKx = PrefKxTable::Default();
    }
    void TearDown() override
    {
        tabtest::TabTest::TearDown();
        FreeSharedPixmaps();
        PrefTabTable::Default() = savedTab;
        PrefKxTable::Default() = savedKx;
    }

    // A table tab over a loaded table, docked, shown and current.
    TabTable* Show(KxTable* table, const PrefTabTable& prefs, int32_t source)
    {
        auto* tab = new TabTable(table, prefs, nullptr);
        tab->SourceType = source;
        tab->Init(nullptr);
        Dock(tab);
        main->SetTabActive(tab, false);
        QApplication::processEvents();
        return tab;
    }

    // A generated raw file of n records as a table tab.
    TabTable* OpenGenerated(uint32_t records, const char* name = "trace.kx")
    {
        PrefTabTable prefs;
        KxTable* table = Load(WriteKx(name, records), TabBase::SOURCE_KX, &prefs);
        return table ? Show(table, prefs, TabBase::SOURCE_KX) : nullptr;
    }

    // Records built in memory, as a document of its own.
    TabTable* OpenRecords(const std::vector<RawRecord>& records, const PrefTabTable& prefs = PrefTabTable::Default())
    {
        auto* table = new KxTable(nullptr, "memory", PrefKxTable::Default());
        for (const RawRecord& raw : records)
            table->AppendRecord(raw.Build());
        return Show(table, prefs, TabBase::SOURCE_BUILT);
    }

    static RawRecord Record(const char* text, uint64_t tid = 7, uint32_t flags = 0, const char* func = nullptr)
    {
        RawRecord raw;
        raw.text = text;
        raw.tid = tid;
        raw.flags = flags;
        raw.func = func;
        return raw;
    }

    static void SetColumns(PrefTabTable& prefs, const std::vector<int32_t>& fields)
    {
        prefs.ClearColumns();
        for (int32_t field : fields)
            prefs.AddColumn(field);
    }

    // The centre of a cell in the view's viewport.
    static QPoint CellCentre(TabTable* tab, int row, int column)
    {
        return tab->View->visualRect(tab->Model->index(row, column)).center();
    }

    // A point just inside a cell's top-left corner, clear of text and grid.
    static QPoint CellCorner(TabTable* tab, int row, int column)
    {
        return tab->View->visualRect(tab->Model->index(row, column)).topLeft() + QPoint(1, 2);
    }

    // The widget drawn at one pixel per logical pixel, whatever the screen's
    // scale: a one-pixel line stays one pixel, where the widget's own
    // coordinates say.
    static QImage Grab(QWidget* widget)
    {
        QImage image(widget->size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        widget->render(&image);
        return image;
    }

    PrefTabTable savedTab;
    PrefKxTable savedKx;
};

} // namespace tabletest
