// What the user waits for while a command of the document window runs: how
// long the event loop went without a turn, what a progress dialog showed
// when, and when a widget was first painted; and the aux-tree pane of a
// document built and painted anew.
#pragma once

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <vector>

#include <QApplication>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QLocale>
#include <QProgressDialog>
#include <QTimer>
#include <QMouseEvent>

#include "bench/benchargs.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/table/auxtreemodel.h"
#include "kxviewer/table/auxtreeview.h"
#include "kxviewer/table/panedocks.h"
#include "kxviewer/table/tabtable.h"
#include "kxviewer/table/tabtableview.h"
#include "kxviewer/table/tabbase.h"

namespace Bench {

// Notes when the watched widget starts to paint; disarmed, it waits for
// Arm first.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QWidget* widget, bool armed = true) : armed_(armed), widget_(widget)
    {
        widget->installEventFilter(this);
    }
    ~PaintWatch() override { widget_->removeEventFilter(this); }
    void Arm()
    {
        armed_ = true;
        painted = false;
    }
    bool painted = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (armed_ && event->type() == QEvent::Paint)
            painted = true;
        return false;
    }

private:
    bool armed_;

private:
    QWidget* widget_;
};

// Turns the event loop until watch has seen a paint; seconds since start.
inline double UntilPainted(const PaintWatch& watch, Clock::time_point start)
{
    while (!watch.painted)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return Seconds(start);
}

// Notes when each widget of the application starts to paint for the first
// time from construction on, so that a widget made and painted inside a call
// is seen too.
class FirstPaints : public QObject {
public:
    FirstPaints() { qApp->installEventFilter(this); }
    ~FirstPaints() override { qApp->removeEventFilter(this); }
    // Turns the event loop until widget has painted; its first paint in
    // seconds after start.
    double Of(const QWidget* widget, Clock::time_point start)
    {
        while (seen_.find(widget) == seen_.end())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        return std::chrono::duration<double>(seen_[widget] - start).count();
    }

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            seen_.emplace(object, Clock::now());
        return false;
    }

private:
    std::map<const QObject*, Clock::time_point> seen_;
};

// Longest time between two turns of the event loop, and each value a
// progress dialog showed, while it runs: sampled at each turn, and caught as
// the dialog paints it, so that a value shown only for a moment counts too.
class LoopWatch : public QObject {
public:
    LoopWatch()
    {
        qApp->installEventFilter(this);
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
        clock_.start();
        since_.start();
        timer_.start();
    }
    // The wait up to now counts too.
    void Stop()
    {
        Tick();
        timer_.stop();
        qApp->removeEventFilter(this);
    }
    ~LoopWatch() override { qApp->removeEventFilter(this); }
    qint64 LongestGapMs() const { return longest_; }
    bool ProgressSeen() const { return !shown_.empty(); }
    // The value the dialog showed last before it went (-1: never shown).
    int LastValue() const
    {
        for (auto it = shown_.rbegin(); it != shown_.rend(); ++it)
            if (it->value >= 0)
                return it->value;
        return -1;
    }
    // How long the last value stood on the dialog before it went (-1: never
    // shown).
    qint64 LastValueMs() const
    {
        for (size_t i = shown_.size(); i-- > 0;)
            if (shown_[i].value >= 0)
                return (i + 1 < shown_.size() ? shown_[i + 1].ms : since_.elapsed()) - shown_[i].ms;
        return -1;
    }
    // The longest the bar stood still while the label ended with stage:
    // from one value or label seen to the next.
    qint64 LongestStillMs(const QString& stage) const
    {
        qint64 longest = 0;
        for (size_t i = 0; i + 1 < shown_.size(); ++i)
            if (shown_[i].label.endsWith(stage))
                longest = std::max(longest, shown_[i + 1].ms - shown_[i].ms);
        return longest;
    }
    // Seconds from the start of the watch until the dialog first showed a
    // label containing part; negative when it never did.
    double SecondsAtLabel(const QString& part) const
    {
        for (const Shown& shown : shown_)
            if (shown.label.contains(part))
                return double(shown.ms) / 1000.0;
        return -1;
    }
    // Each value the dialog showed, with the time it was first seen at and
    // its label; -1 once it was gone.
    void PrintProgress() const
    {
        for (const Shown& shown : shown_)
            printf("  %6.2f s: %3d %%  %s\n", double(shown.ms) / 1000.0, shown.value, qPrintable(shown.label));
    }

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            if (auto* dialog = qobject_cast<QProgressDialog*>(object); dialog != nullptr && dialog->isVisible())
                Note(dialog->value(), dialog->labelText());
        // Gone at once, not at the next tick.
        if (event->type() == QEvent::Hide && qobject_cast<QProgressDialog*>(object) != nullptr)
            Note(-1, QString());
        return false;
    }

private:
    struct Shown {
        qint64 ms;
        int value;
        QString label;
    };

    void Tick()
    {
        longest_ = std::max(longest_, clock_.restart());
        int value = -1;
        QString label;
        for (QWidget* widget : QApplication::allWidgets())
            if (auto* dialog = qobject_cast<QProgressDialog*>(widget); dialog != nullptr && dialog->isVisible()) {
                value = dialog->value();
                label = dialog->labelText();
            }
        Note(value, label);
    }

    void Note(int value, const QString& label)
    {
        if ((shown_.empty() && value >= 0) ||
            (!shown_.empty() && (shown_.back().value != value || shown_.back().label != label)))
            shown_.push_back({since_.elapsed(), value, label});
    }

    QTimer timer_;
    QElapsedTimer clock_;
    QElapsedTimer since_;
    qint64 longest_ = 0;
    std::vector<Shown> shown_;
};

// "32 + 970,123 nodes": the first- and second-level nodes of a tree.
inline QString NodeCounts(const KxAuxTree& tree)
{
    size_t children = 0;
    for (const KxAuxNode1* node = tree.First(); node; node = node->next)
        children += size_t(node->count);
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    return english.toString(tree.Count()) + " + " + english.toString(qulonglong(children)) + " nodes";
}

// A paint watch on the document's aux-tree pane that arms itself when the
// pane shows a tree afresh: it sees the first paint of the new tree.
class PaneWatch : public PaintWatch {
public:
    explicit PaneWatch(TabBase& tab) : PaintWatch(tab.AuxTreeDock->Tree->viewport(), false)
    {
        QObject::connect(tab.AuxTreeDock->Tree->model(), &QAbstractItemModel::modelReset, this, [this] { Arm(); });
    }
};

// The aux-tree pane of the document brought to the front.
inline void ShowPane(TabBase& tab)
{
    tab.InfoDock->show();
    tab.InfoDock->raise();
    QCoreApplication::processEvents();
}

// The pane built anew: milliseconds until it is painted.
inline double PaneBuildMs(TabBase& tab)
{
    PaneWatch watch(tab);
    const Clock::time_point start = Clock::now();
    tab.AuxTreeDock->BuildTree();
    return UntilPainted(watch, start) * 1000;
}

// The document's aux-tree pane brought to the front, then built anew: the
// milliseconds until it was painted, and the longest wait meanwhile.
inline void PrintPaneBuild(TabBase& tab)
{
    ShowPane(tab);
    LoopWatch loop;
    const double painted = PaneBuildMs(tab);
    loop.Stop();
    printf("aux-tree pane, %s: built and painted in %.1f ms; longest wait %lld ms\n",
           qPrintable(NodeCounts(tab.Table->AuxTree())), painted, static_cast<long long>(loop.LongestGapMs()));
}

// The longest wait of the event loop from command on until settleMs after
// it returned (the view lays out a large tree a batch at a time after).
inline qint64 LongestWaitMs(const std::function<void()>& command, int settleMs = 1500)
{
    LoopWatch loop;
    command();
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < settleMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    loop.Stop();
    return loop.LongestGapMs();
}

// Expand All, Collapse All and, after another Expand All, a click on a row
// of the table (the tree follows the current record and collapses): the
// longest wait of each.
inline void PrintPaneCommands(TabTable& tab)
{
    ShowPane(tab);
    // A move to the current record still pending would collapse the tree.
    LongestWaitMs([] {});
    const AuxTreeModel& model = *tab.AuxTreeDock->Model;
    const qint64 expand = LongestWaitMs([&tab] { tab.ExpandAllPanes(); });
    const int expandedRows = model.rowCount();
    const qint64 collapse = LongestWaitMs([&tab] { tab.CollapseAllPanes(); });
    LongestWaitMs([&tab] { tab.ExpandAllPanes(); });
    QWidget* rows = tab.View->viewport();
    const int row = tab.Table->CurRow() == 3 ? 4 : 3;
    const QPoint at(rows->width() / 2, tab.View->rowViewportPosition(row) + tab.View->rowHeight(row) / 2);
    const qint64 click = LongestWaitMs([rows, at] {
        QMouseEvent press(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(rows, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(rows, &release);
    });
    printf("aux-tree pane, %s: longest wait of Expand All (%d rows) %lld ms, Collapse All %lld ms, "
           "a row click after Expand All %lld ms (tree left with %d rows)\n",
           qPrintable(NodeCounts(tab.Table->AuxTree())), expandedRows, static_cast<long long>(expand),
           static_cast<long long>(collapse), static_cast<long long>(click), model.rowCount());
}

} // namespace Bench
