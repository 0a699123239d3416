// The scoped switch of a window's updates: nested, moved, outliving its
// window, and the window painting again after a turn of the event loop
// spent with its updates off.
#include <functional>
#include <memory>
#include <optional>

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>
#include <gtest/gtest.h>

#include "kxviewer/table/updatesoff.h"
#include "paintcount.h"

namespace {

// Each case runs its steps on a fresh window; after each step the window's
// updates are as listed.
TEST(UpdatesOff, EveryWayOutSwitchesThemOnOnce)
{
    struct Scopes {
        QWidget* window;
        std::optional<UpdatesOff> outer, inner;
    };
    using Step = std::function<void(Scopes&)>;
    const struct {
        const char* name;
        std::vector<std::pair<Step, bool>> steps;
    } cases[] = {
        {"one scope",
         {{[](Scopes& s) { s.outer.emplace(s.window); }, false}, {[](Scopes& s) { s.outer.reset(); }, true}}},
        {"nested: the outer one switches them on",
         {{[](Scopes& s) { s.outer.emplace(s.window); }, false},
          {[](Scopes& s) { s.inner.emplace(s.window); }, false},
          {[](Scopes& s) { s.inner.reset(); }, false},
          {[](Scopes& s) { s.outer.reset(); }, true}}},
        {"moved: the moved-to one switches them on",
         {{[](Scopes& s) { s.outer.emplace(s.window); }, false},
          {[](Scopes& s) { s.inner.emplace(std::move(*s.outer)); }, false},
          {[](Scopes& s) { s.outer.reset(); }, false},
          {[](Scopes& s) { s.inner.reset(); }, true}}},
        {"already off: left to their owner",
         {{[](Scopes& s) { s.window->setUpdatesEnabled(false); }, false},
          {[](Scopes& s) { s.outer.emplace(s.window); }, false},
          {[](Scopes& s) { s.outer.reset(); }, false}}},
        {"null window", {{[](Scopes& s) { s.inner.emplace(nullptr); }, true}, {[](Scopes& s) { s.inner.reset(); }, true}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget window;
        Scopes scopes{&window, {}, {}};
        for (const auto& [step, enabled] : c.steps) {
            step(scopes);
            EXPECT_EQ(window.updatesEnabled(), enabled);
        }
    }
}

TEST(UpdatesOff, AWindowClosedWhileHeldIsLeftAlone)
{
    auto window = std::make_unique<QWidget>();
    std::optional<UpdatesOff> quiet(std::in_place, window.get());
    EXPECT_FALSE(window->updatesEnabled());
    window.reset();
    quiet.reset();
}

// A turn of the event loop while the updates are off syncs the window
// without painting; the widgets marked before, and those marked later, are
// painted once the updates are back on.
TEST(UpdatesOff, TheWindowPaintsAfterATurnSpentQuiet)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* label = new QLabel(QStringLiteral("rows"), &window);
    layout->addWidget(label);
    window.resize(200, 100);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    PaintCount counter(label);
    {
        label->setText(QStringLiteral("filtered"));
        const UpdatesOff quiet(&window);
        QApplication::processEvents();
        EXPECT_EQ(counter.paints, 0);
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return counter.paints > 0; }, 2000));
    const int painted = counter.paints;
    label->update();
    EXPECT_TRUE(QTest::qWaitFor([&] { return counter.paints > painted; }, 2000));
}

} // namespace
