// The timeline of a graph document: one line per shown thread over time and
// nesting level, with selection bands, marks, bookmarks and the cursor. The
// plot is kept as a pixmap until the view, size, data, marks or colours
// change, so a blink of the cursor repaints only the cursor; lines cost
// about one vertical span per pixel column whatever the number of points.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include <QBrush>
#include <QImage>
#include <QPen>
#include <QTimer>
#include <QWidget>

#include "kxviewer/graph/cgraphdrawdata.h"
#include "kxviewer/graph/cgraphrange.h"
#include "kxviewer/graph/graphlevels.h"

class CGraphElement;
class GraphModel;
class GraphOwner;
class GraphSlider;
class QPainter;
struct GraphIndexEntry;
struct KxdRecord;

// A selection range of the table in times, drawn in its colour.
struct GraphBand {
    int64_t from;
    int64_t to;
    QRgb colour;
};

struct GraphBookmark {
    int64_t time;
    uint32_t row;
};

// A record whose error icon lies under the mouse.
struct GraphIconHit {
    KxdRecord* record;
    uint32_t row;
};

class QSimpleGraph : public QWidget, public CGraphDrawData, public CGraphRange {
    Q_OBJECT
public:
    static constexpr int64_t NO_MARK = -999;
    // Paint reasons of the cursor blink: 1 redraws the cursor, 2 hides its line.
    static constexpr int REASON_FULL = 0;
    static constexpr int REASON_SHOW_CURSOR = 1;
    static constexpr int REASON_HIDE_CURSOR = 2;
    // Mouse modes: a Control-drag pans, a plain drag zooms to the rubber
    // band or moves the cursor, a Shift-drag selects rows.
    static constexpr int MODE_PAN = 1;
    static constexpr int MODE_ZOOM = 2;
    static constexpr int MODE_SELECT = 3;
    static constexpr int BLINK_MS = 400;
    static constexpr int BACK_LIMIT = 10;

    explicit QSimpleGraph(QWidget* parent = nullptr);
    ~QSimpleGraph() override;

    // The lines (not owned); the full range and the Y divisions follow it.
    void SetModel(GraphModel* model);
    const GraphModel* Model() const { return model_; }
    // The document behind the widget (not owned); null: no table to reach.
    void SetOwner(GraphOwner* owner) { owner_ = owner; }
    void SetSlider(GraphSlider* slider) { slider_ = slider; }
    // The range hook: every change of the view passes here.
    bool SetRange(int64_t xMin, int64_t xMax, int64_t yMin, int64_t yMax, bool update, bool setLimits) override;
    bool SetRange(int64_t xMin, int64_t xMax, int64_t yMin, int64_t yMax, bool update, bool setLimits,
                  bool addToHistory);
    // Moves the visible window by delta units, kept inside the full range,
    // with a back-history entry.
    void ScrollBy(int64_t delta);
    void ScrollBy(int64_t delta, bool addToHistory);
    // Moves the window by dragged pixels; windows of more pixels than units
    // gather the pixels until they make one unit.
    void Pan(int dx);
    // Scrolls so that t is centred when it lies outside the window; not
    // while Back shows a stored view.
    void CenterOnPos(int64_t t);
    // Moves every point by -offset and the window and full range with them.
    void ShiftTime(int64_t offset);
    // Shows the lines of the given threads (shown) or all others; every
    // line at once.
    void MarkTids(const std::vector<uint64_t>& tids, bool shown);
    void ShowAllTids(bool shown);
    // Accepts MODE_PAN .. MODE_SELECT.
    bool SetMouseMode(int mode);
    int MouseMode() const { return mouseMode_; }

    // The cursor on a row, or on the point nearest a time.
    void SetCurrentRow(int32_t row, bool addToHistory, bool syncTable);
    void SetCursorTime(int64_t t, bool addToHistory, bool syncTable);
    int64_t CursorTime() const { return cursorTime_; }
    int BackCount() const { return int(back_.size()); }
    // Threads whose shown lines cross the last pressed column.
    const std::vector<uint64_t>& FoundTids() const { return foundTids_; }
    // Threads whose shown lines cross a pixel column of the plot.
    std::vector<uint64_t> FindInfoOnLine(int x) const;
    // Records whose error icons lie under a point; their count.
    int FindIconsAtPoint(const QPoint& at);
    // Points of the last paint within 3 pixel columns of x: those drawn
    // one by one, and at most one a column of each line drawn by columns.
    std::vector<GraphHit> HitsNear(int x) const;
    // The tool tip at a point: error icons or points per thread; empty
    // when nothing lies there.
    QString ToolTipText(const QPoint& at);
    // Where the cursor and its label are drawn; empty when out of view.
    QRect CursorRect() const;
    // Redraws the plot from the data.
    void Redraw() { Invalidate(); }
    // Shown lines or the points changed.
    void DataChanged();

    void SetCursor(int32_t row, int64_t time);
    int32_t CursorRow() const { return cursorRow_; }
    int64_t CursorDisplayTime() const { return cursorDisplayTime_; }
    void SetBands(std::vector<GraphBand> bands);
    const std::vector<GraphBand>& Bands() const { return bands_; }
    // A row has one bookmark: repeated rows count once.
    void SetBookmarks(std::vector<GraphBookmark> bookmarks);
    const std::vector<GraphBookmark>& Bookmarks() const { return bookmarks_; }
    void SetMarkIn(int64_t time, int32_t row);
    void SetMarkOut(int64_t time, int32_t row);
    int64_t MarkIn() const { return markInTime_; }
    int64_t MarkOut() const { return markOutTime_; }
    // The background follows the owner (SetBackColor).
    void SetColours(const QColor& selection, const QColor& bookmark);
    QColor SelectionColour() const { return selection_; }
    QColor BookmarkColour() const { return bookmark_; }
    QColor TextColour() const { return textPen_.color(); }
    void SetGrid(bool grid);
    // Set by the blink; the next paint draws only the cursor over the plot.
    void SetPaintReason(int reason);
    int PaintReason() const { return paintReason_; }
    int XDivisions() const { return xDivisions_; }
    // The Y divisions the last paint labelled: those of the levels, fewer
    // where their labels would run into each other.
    int64_t YDivisions() const { return yLabelDivisions_; }
    // The narrowest X span a zoom may reach: a quarter of a division's
    // pixels in time units.
    int64_t MinimumXSpan() const { return std::max(0, PlotRect.width()) / (4 * int64_t(xDivisions_)); }

    // How many bookmarks (this one included) lie within the label distance
    // of each of the given pixel columns.
    static std::vector<int> NeighbourCounts(const std::vector<int>& columns);
    // A time as the cursor and bookmark labels show it.
    static QString TimeText(int64_t time);

public slots:
    // Prints the records of the points at pos (within 3 pixels of its
    // column with onLine, else in the 6 x 6 box around each point).
    void showAtCurrentPos(QPoint pos, bool ShowInfoOnLine = false);
    void tick();
    void Rupdate();
    void GridOnOff();
    void SetBackColor();
    void startGraphSelect();
    void endGraphSelect();
    void SetRMaxRange(bool bUpdate = true, bool isAddBackInfo = true);
    void ClearSelection(int WkStartRow, int WkEndRow);
    void AddSelection(int WkStartRow, int WkEndRow, bool AddOrDeleteMode = true);
    // Selects the rows between two pixel columns.
    void AddStrangeSelection(int WkStartRow, int WkEndRow);
    void DoBack();
    void GoToCursorPos();
    void AddBookmarkAtCurrent();
    void AddBookmark(qint64 bookmark_value);
    bool CheckBookmark(qint64 bookmark_value);
    void SelectTIDsInTree();
    void SelectColorScheme();
    bool ifTimeInsideScreen(qint64 time);
    void PrintErrorsToLog();
    void PrintLineInfoToLog();
    void GraphZoomIn();
    void GraphZoomOut();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct BackEntry {
        int64_t xMin, xMax, yMin, yMax;
        int64_t cursorTime;
        bool zoomed;
    };
    void PushBack();
    // The wheel's zoom by delta (120 a notch; positive narrows).
    void Zoom(int delta);
    void PlaceCursor(int32_t row, int64_t time, bool syncTable);
    // Mark-in (in) or mark-out at the cursor, selecting the rows between.
    void SetMark(bool in);
    void PanBy(int64_t delta);
    // Rows between a and b (either order), kept inside the table.
    void SelectBetween(int32_t a, int32_t b, bool select);
    // The table's bookmark nearest t when it lies within a few pixels.
    bool NearBookmark(int64_t t, int32_t& row) const;
    // Asks which neighbour of a time t without a record takes the
    // bookmark; false when cancelled or when the graph was closed while
    // it asked (the caller then touches nothing of it).
    bool AskBookmarkSide(int64_t t, const GraphIndexEntry* left, const GraphIndexEntry* right);
    int CursorLabelStart(int x, int width) const;
    void EnableAction(int id, bool enabled);
    void Status(const QString& text);
    // Time of a pixel column of the plot.
    int64_t TimeAt(int x) const;
    // Snaps a point less than 2 pixels outside the plot onto its border.
    QPoint Clamp(const QPoint& at) const;
    void ZoomToRubberBand();
    void ShowContextMenu(const QPoint& at);
    void ShowToolTip(const QPoint& global, const QPoint& at);
    void PaintRubberBand(QPainter& p);
    void PaintErrorIcons(QPainter& p);
    void Invalidate();
    void Layout();
    // Lowers the X divisions until the labels fit the plot width.
    void FitXDivisions(const QFontMetrics& metrics);
    // Labels as many Y divisions as fit labels of this height apart.
    void FitYDivisions(int labelHeight);
    void PaintPlot();
    void PaintBands(QPainter& p);
    void PaintMarkIn(QPainter& p);
    void PaintAxes(QPainter& p);
    void PaintBookmarks(QPainter& p);
    void PaintLines(QPainter& p);
    void PaintElementSpans(const CGraphElement& e, const std::vector<GraphColumnSpan>& spans);
    void WriteLines();
    void PaintElementPoints(QPainter& p, const CGraphElement& e, std::vector<int32_t>& points);
    void PaintCursor(QPainter& p);
    // Pixel row of a level, the scale set; the rows of the visible levels
    // are kept for the paint (a dense thread asks for two per column).
    int YOf(int64_t level) const
    {
        const uint64_t at = uint64_t(level) - uint64_t(VisibleY().min);
        if (at < levelRows_.size())
            return levelRows_[size_t(at)];
        return PlotRect.bottom() - int((double(level) - double(VisibleY().min)) / YUnitsPerPixel);
    }

    GraphModel* model_ = nullptr;
    GraphOwner* owner_ = nullptr;
    GraphSlider* slider_ = nullptr;
    int paintReason_ = REASON_FULL;
    int32_t cursorRow_ = 0;
    int64_t cursorDisplayTime_ = 0;
    int64_t cursorTime_ = 0;
    int mouseMode_ = MODE_ZOOM;
    int rubberBand_ = 0;
    bool selecting_ = false;
    QPoint mousePoint_;
    QPoint pressPoint_;
    QPoint currentPoint_;
    int panRemainder_ = 0;
    bool panned_ = false;
    int blink_ = 0;
    QTimer blinkTimer_;
    std::vector<BackEntry> back_;
    bool keepView_ = false;
    std::vector<uint64_t> foundTids_;
    std::vector<GraphIconHit> iconHits_;
    std::vector<GraphBand> bands_;
    std::vector<GraphBookmark> bookmarks_;
    int64_t markInTime_ = NO_MARK;
    int32_t markInRow_ = 0;
    int64_t markOutTime_ = NO_MARK;
    int32_t markOutRow_ = 0;
    QBrush background_{QColor(64, 64, 64)};
    QColor selection_{0, 0, 255};
    QColor bookmark_{255, 0, 255};
    QPen gridPen_{QColor(128, 128, 128)};
    QPen textPen_{QColor(244, 177, 41)};
    QPen framePen_{QColor(192, 192, 192)};
    int cornerRadius_ = 8;
    int xDivisions_ = 8;
    int64_t yDivisions_ = 7;
    int64_t yLabelDivisions_ = 7;
    bool grid_ = true;
    // Dense lines of one plot, drawn straight into the image.
    struct SpanLine {
        QRgb colour;
        int x0, y0, x1, y1;
    };
    QImage plot_;
    std::vector<SpanLine> lines_;
    std::vector<int> levelRows_;
    // Lines the last paint drew by columns: their points are found when asked.
    std::vector<const CGraphElement*> dense_;
    bool plotValid_ = false;
};
