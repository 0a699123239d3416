// The progress display of a graph's build, from the command until the graph
// is on screen. Each stage owns a part of the bar, which only moves forward
// and is full only when the graph shows. The event loop gets a turn each
// time the bar moves and, while a stage's work runs on another thread, at
// least every TURN_MS, so the window keeps answering. Small tables build
// without a display and without turns. A turn may close the documents the
// build works for: it watches them and stops once one went.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include <QPointer>
#include <QString>
#include <QVector>

class KxvProgress;
class TearOffTabDock;

class GraphProgress {
public:
    // Above this many records the display shows.
    static constexpr int32_t QUIET_ROWS = 10000;
    // The longest the event loop waits while work runs aside.
    static constexpr int TURN_MS = 40;
    static constexpr int FULL = 100;

    // Reports of a piece of work: done of total; false once cancelled.
    using Report = std::function<bool(int32_t done, int32_t total)>;

    // "Creating graph <name>" with "Abort Create" over the window that
    // holds the document, on show at once (and painted) when the table has
    // more than QUIET_ROWS records. The document is watched (Watch).
    GraphProgress(const QString& tableName, int32_t records, TearOffTabDock& document);
    ~GraphProgress();
    GraphProgress(const GraphProgress&) = delete;
    GraphProgress& operator=(const GraphProgress&) = delete;

    // The stages in order; each names itself after the plain label (but the
    // first) and ends at its own value of the bar.
    enum StageId : int { READ, INDEX, RECORDS, PANES, VIEW };
    // The next stage: the bar at the end of the one before, the stage's
    // name on show.
    void Stage(StageId stage);
    // Where the stage stands; the bar moves to its share, and when it
    // moved the event loop gets a turn. False once the build is to stop.
    bool Advance(int64_t done, int64_t total);
    // Runs work on another thread, handing it a report that moves the bar
    // of the current stage, while this thread turns the event loop. Once
    // the build is to stop the report answers false; this returns once
    // work ended, with work's result, false when the build is to stop.
    bool RunAside(const std::function<bool(const Report& report)>& work);
    // A document the build works for; once it is closed (gone from the
    // window's documents, or deleted) the build stops.
    void Watch(TearOffTabDock* document);
    bool Canceled() const;
    // A watched document was closed during a turn.
    bool Gone() const;
    // Canceled or Gone: nothing after the last turn may go on.
    bool Stopped() const { return Canceled() || Gone(); }
    // The bar full with the graph on screen under it: one more turn paints
    // both, then the display goes.
    void Finish();

private:
    // The bar at the current stage's share of done / total; true when it
    // moved.
    bool Move(int64_t done, int64_t total);
    void Turn();

    std::unique_ptr<KxvProgress> display_;
    QVector<QPointer<TearOffTabDock>> watched_;
    QString label_;
    StageId stage_ = READ;
    int value_ = 0;
};
