// The active-tab borders and the framework's trace records.
#include <memory>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QImage>
#include <QTabBar>
#include <gtest/gtest.h>

#include "kxviewer/shellservices.h"
#include "tearoffstubs.h"
#include "tearoffwidget/tearofftabbar.h"
#include "tearoffwidget/tearofftabwidget.h"

namespace {

struct Record {
    uint16_t flags;
    uint64_t key;
    std::string text;
    std::string function;
};
std::vector<Record> records;

int Capture(ZmLib::KXEVENT* event, ZmLib::KX*)
{
    records.push_back({event->flags, event->key, event->text ? event->text : "",
                       event->function ? event->function : ""});
    return 0;
}

class ChannelCapture {
public:
    ChannelCapture() : output_(KxvTearoffChannel.output), threshold_(KxvTearoffChannel.threshold)
    {
        records.clear();
        KxvTearoffChannel.output = &Capture;
        KxvTearoffChannel.threshold = ZmLib::KX_LEVEL_DEBUG;
    }
    ~ChannelCapture()
    {
        KxvTearoffChannel.output = output_;
        KxvTearoffChannel.threshold = threshold_;
    }

private:
    ZmLib::KxOutputFn output_;
    int32_t threshold_;
};

// The colour of the selected tab's top border, 1 pixel below its top.
QColor SelectedTopBorder(TearOffTabWidget* tabs)
{
    QTabBar* bar = tabs->tabBar();
    const QRect tab = bar->tabRect(bar->currentIndex());
    const QImage image = bar->grab().toImage();
    return image.pixelColor(tab.center().x(), tab.top() + 1);
}

class TearOffLookTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        main = std::make_unique<TestMain>();
        main->resize(900, 700);
        main->show();
    }
    void TearDown() override
    {
        main.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    std::unique_ptr<TestMain> main;
};

TEST_F(TearOffLookTest, ActiveGroupCarriesTheOrangeBorderOthersGrey)
{
    auto* panel = new StubDoc;
    main->AddTearOffDock(Qt::BottomDockWidgetArea, panel, TearOffTabDock::ModePanel);
    auto* first = new StubDoc;
    main->AddTearOffDock(Qt::TopDockWidgetArea, first, 0);
    auto* second = new StubDoc;
    main->AddTearOffDock(Qt::TopDockWidgetArea, second, 0);

    EXPECT_EQ(SelectedTopBorder(second->TabWidget), QColor("#f4a460"));
    EXPECT_EQ(SelectedTopBorder(first->TabWidget), QColor("#d7d7d7"));
    EXPECT_EQ(SelectedTopBorder(panel->TabWidget), QColor("#d7d7d7"));

    main->SetTabActive(panel, false);
    EXPECT_EQ(SelectedTopBorder(panel->TabWidget), QColor("#cccc00"));
    EXPECT_EQ(SelectedTopBorder(second->TabWidget), QColor("#d7d7d7"));
}

TEST_F(TearOffLookTest, StyleSheetsOfTheThreeLooks)
{
    const QString active = TearOffTabWidget::StyleSheet(TearOffTabWidget::Look::Active);
    EXPECT_EQ(active, "#TearOffTabBar::tab:selected {background: #d7d7d7; border-left: 1px solid #e1e1e1; "
                      "border-top: 4px solid #f4a460; padding: 4} #TearOffTabBar::tab:!selected  {background: "
                      "#f3f3f3; border-left: 1px solid #e1e1e1;border-top: 4px solid #f3f3f3; padding: 4} "
                      "QTabWidget::pane {border:3px solid #d7d7d7}");
    QString panel = active;
    panel.replace("#f4a460", "#cccc00");
    EXPECT_EQ(TearOffTabWidget::StyleSheet(TearOffTabWidget::Look::ActivePanel), panel);
    QString inactive = active;
    inactive.replace("#f4a460", "#d7d7d7");
    EXPECT_EQ(TearOffTabWidget::StyleSheet(TearOffTabWidget::Look::Inactive), inactive);
}

TEST_F(TearOffLookTest, DocksRecordTheirConstructionAndDestruction)
{
    ChannelCapture capture;
    auto* doc = new StubDoc;
    const uint64_t key = doc->Key;
    EXPECT_EQ(key, uint64_t(reinterpret_cast<uintptr_t>(doc)));
    delete doc;
    main->Docks.removeAll(doc);

    char hex[32];
    snprintf(hex, sizeof hex, "%llX", static_cast<unsigned long long>(key));
    std::vector<Record> instances;
    for (const Record& r : records)
        if (r.flags & (ZmLib::KXF_NEW_INSTANCE | ZmLib::KXF_DEL_INSTANCE))
            instances.push_back(r);
    ASSERT_EQ(instances.size(), 2u);
    // The name is taken before the constructor sets it.
    EXPECT_EQ(instances[0].text, std::string("NEW INSTANCE: , KEY=") + hex);
    EXPECT_EQ(instances[0].flags, ZmLib::KXF_NEW_INSTANCE | ZmLib::KXF_TEXT);
    EXPECT_EQ(instances[0].key, key);
    EXPECT_EQ(instances[1].text, std::string("DEL INSTANCE: , KEY=") + hex);
    EXPECT_EQ(instances[1].flags, ZmLib::KXF_DEL_INSTANCE | ZmLib::KXF_TEXT);
}

TEST_F(TearOffLookTest, OperationsTraceEnterLeaveAndTheCurrentDock)
{
    auto* doc = new StubDoc;
    ChannelCapture capture;
    main->AddTearOffDock(Qt::TopDockWidgetArea, doc, 0);

    std::vector<std::string> lines;
    for (const Record& r : records)
        lines.push_back((r.flags & ZmLib::KXF_FUNC_ENTER ? "enter " : r.flags & ZmLib::KXF_FUNC_LEAVE ? "leave " : "")
                        + r.function + (r.text.empty() ? "" : ": " + r.text));
    const std::vector<std::string> expected = {
        "enter TearOffMain::AddTearOffDock",
        "enter TearOffMain::CheckCentralWidgetVisibility",
        "leave TearOffMain::CheckCentralWidgetVisibility",
        "enter TearOffMain::SetTabActive",
        "SetTabActive: Set TearOffMain::CurrentDock = " + doc->objectName().toStdString(),
        "leave TearOffMain::SetTabActive",
        "leave TearOffMain::AddTearOffDock",
    };
    EXPECT_EQ(lines, expected);
}

} // namespace
