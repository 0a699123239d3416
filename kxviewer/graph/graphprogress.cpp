#include "kxviewer/graph/graphprogress.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>

#include "kxviewer/shellservices.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearofftabdock.h"

namespace {

struct StageShare {
    const char* name;
    // The bar's value when the stage is done.
    int end;
};

// Shares after the time each stage takes on a million records.
constexpr StageShare Stages[] = {
    {"", 20},
    {"indexing the points", 71},
    {"linking the points to their rows", 74},
    {"building the side panes", 96},
    {"showing the graph", GraphProgress::FULL},
};

} // namespace

GraphProgress::GraphProgress(const QString& tableName, int32_t records, TearOffTabDock& document)
    : display_(KxvShell().CreateProgress(QStringLiteral("Creating graph ") + tableName,
                                         QStringLiteral("Abort Create"), 0, FULL)),
      label_(QStringLiteral("Creating graph ") + tableName)
{
    Watch(&document);
    if (records <= QUIET_ROWS)
        return;
    // Over the main window it would bring that to the front, hiding the
    // window the graph opens in.
    display_->SetWindow(document.window());
    for (const StageShare& stage : Stages)
        display_->FitLabel(label_ + QStringLiteral(": ") + QLatin1String(stage.name));
    display_->Show();
    Turn();
}

GraphProgress::~GraphProgress() = default;

void GraphProgress::Stage(StageId stage)
{
    if (stage > READ)
        value_ = std::max(value_, Stages[stage - 1].end);
    stage_ = stage;
    if (display_->IsVisible()) {
        display_->SetLabel(stage == READ ? label_
                                         : label_ + QStringLiteral(": ") + QLatin1String(Stages[stage].name));
        display_->SetValue(value_);
        Turn();
    }
}

bool GraphProgress::Move(int64_t done, int64_t total)
{
    const int begin = stage_ > READ ? Stages[stage_ - 1].end : 0;
    const int end = Stages[stage_].end;
    const int64_t share = total > 0 ? std::clamp<int64_t>(done, 0, total) * (end - begin) / total : 0;
    const int value = begin + int(share);
    // The bar is full only when the graph shows (Finish).
    if (value <= value_ || value >= FULL)
        return false;
    value_ = value;
    if (display_->IsVisible())
        display_->SetValue(value_);
    return true;
}

bool GraphProgress::Advance(int64_t done, int64_t total)
{
    if (Move(done, total))
        Turn();
    return !Stopped();
}

bool GraphProgress::RunAside(const std::function<bool(const Report& report)>& work)
{
    std::atomic<int32_t> done{0};
    std::atomic<int32_t> total{1};
    std::atomic<bool> stop{Stopped()};
    const Report report = [&](int32_t now, int32_t of) {
        total = of;
        done = now;
        return !stop;
    };
    std::future<bool> result = std::async(std::launch::async, [&work, &report] { return work(report); });
    while (result.wait_for(std::chrono::milliseconds(TURN_MS)) != std::future_status::ready) {
        Move(done, total);
        Turn();
        stop = Stopped();
    }
    Move(done, total);
    return result.get() && !Stopped();
}

void GraphProgress::Watch(TearOffTabDock* document) { watched_.append(QPointer<TearOffTabDock>(document)); }

bool GraphProgress::Canceled() const { return display_->WasCanceled(); }

bool GraphProgress::Gone() const
{
    const TearOffMain* main = TearOffMain::Me;
    return std::any_of(watched_.begin(), watched_.end(), [main](const QPointer<TearOffTabDock>& document) {
        return document.isNull() || !main || !main->Docks.contains(document.data());
    });
}

void GraphProgress::Finish()
{
    if (display_->IsVisible()) {
        value_ = FULL;
        display_->SetValue(FULL);
        Turn();
    }
    display_->Close();
}

void GraphProgress::Turn()
{
    if (!display_->IsVisible())
        return;
    KxvShell().ProcessEvents();
    // However it was dismissed (Escape, the title bar's close), a display
    // that went cancelled the build: nothing runs on with nothing on screen.
    if (!display_->IsVisible())
        display_->Cancel();
}
