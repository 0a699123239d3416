// What a user waits for while a long command runs on the GUI thread: the
// longest time the event loop went without a turn, and each value a
// progress dialog showed, with when and under which label.
#pragma once

#include <algorithm>
#include <cstdio>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QTimer>

namespace Bench {

// A 10 ms timer samples the loop and the visible progress dialog from
// construction until Stop.
class LoopWatch {
public:
    LoopWatch()
    {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
        clock_.start();
        since_.start();
        timer_.start();
    }
    void Stop() { timer_.stop(); }
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
    // Each value the dialog showed, with the time it was first seen at and
    // its label; -1 once it was gone.
    void PrintProgress() const
    {
        for (const Shown& shown : shown_)
            printf("  %6.2f s: %3d %%  %s\n", double(shown.ms) / 1000.0, shown.value, qPrintable(shown.label));
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
        if ((shown_.empty() && value >= 0) || (!shown_.empty() && shown_.back().value != value))
            shown_.push_back({since_.elapsed(), value, label});
    }

    QTimer timer_;
    QElapsedTimer clock_;
    QElapsedTimer since_;
    qint64 longest_ = 0;
    std::vector<Shown> shown_;
};

} // namespace Bench
