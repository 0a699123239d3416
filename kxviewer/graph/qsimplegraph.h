// The timeline of a graph document: one line per shown thread over time and
// nesting level, with selection bands, marks, bookmarks and the cursor. The
// plot is kept as a pixmap until the view, size, data, marks or colours
// change, so a blink of the cursor repaints only the cursor; lines cost
// about one vertical span per pixel column whatever the number of points.
#pragma once

#include <cstdint>
#include <vector>

#include <QBrush>
#include <QImage>
#include <QPen>
#include <QWidget>

#include "kxviewer/graph/cgraphdrawdata.h"
#include "kxviewer/graph/cgraphrange.h"
#include "kxviewer/graph/graphlevels.h"

class CGraphElement;
class GraphModel;
class GraphSlider;
class QPainter;

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

class QSimpleGraph : public QWidget, public CGraphDrawData, public CGraphRange {
    Q_OBJECT
public:
    static constexpr int64_t NO_MARK = -999;
    // Paint reasons of the cursor blink: 1 redraws the cursor, 2 hides its line.
    static constexpr int REASON_FULL = 0;
    static constexpr int REASON_HIDE_CURSOR = 2;

    explicit QSimpleGraph(QWidget* parent = nullptr);

    // The lines (not owned); the full range and the Y divisions follow it.
    void SetModel(const GraphModel* model);
    const GraphModel* Model() const { return model_; }
    void SetSlider(GraphSlider* slider) { slider_ = slider; }
    bool SetRange(int64_t xMin, int64_t xMax, int64_t yMin, int64_t yMax, bool update, bool setLimits) override;
    // Moves the visible X window by delta units, kept inside the full range.
    void ScrollX(int64_t delta);
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
    void SetColours(const QColor& background, const QColor& selection, const QColor& bookmark);
    QColor TextColour() const { return textPen_.color(); }
    void SetGrid(bool grid);
    // Set by the blink; the next paint draws only the cursor over the plot.
    void SetPaintReason(int reason);
    int PaintReason() const { return paintReason_; }
    int XDivisions() const { return xDivisions_; }
    // The narrowest X span a zoom may reach: a quarter of a division's
    // pixels in time units.
    int64_t MinimumXSpan() const { return PlotRect.width() / (4 * int64_t(xDivisions_)); }

    // How many bookmarks (this one included) lie within the label distance
    // of each of the given pixel columns.
    static std::vector<int> NeighbourCounts(const std::vector<int>& columns);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Invalidate();
    void Layout();
    // Lowers the X divisions until the labels fit the plot width.
    void FitXDivisions(const QFontMetrics& metrics);
    void PaintPlot();
    void PaintBands(QPainter& p);
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

    const GraphModel* model_ = nullptr;
    GraphSlider* slider_ = nullptr;
    int paintReason_ = REASON_FULL;
    int32_t cursorRow_ = 0;
    int64_t cursorDisplayTime_ = 0;
    std::vector<GraphBand> bands_;
    std::vector<GraphBookmark> bookmarks_;
    int64_t markInTime_ = NO_MARK;
    int32_t markInRow_ = 0;
    int64_t markOutTime_ = NO_MARK;
    int32_t markOutRow_ = 0;
    QBrush background_{QColor(64, 64, 64)};
    QColor selection_{0, 0, 255};
    QColor bookmark_{0, 255, 255};
    QPen gridPen_{QColor(128, 128, 128)};
    QPen textPen_{QColor(244, 177, 41)};
    QPen framePen_{QColor(192, 192, 192)};
    int cornerRadius_ = 8;
    int xDivisions_ = 8;
    int64_t yDivisions_ = 7;
    bool grid_ = true;
    // Dense lines of one plot, drawn straight into the image.
    struct SpanLine {
        QRgb colour;
        int x0, y0, x1, y1;
    };
    QImage plot_;
    std::vector<SpanLine> lines_;
    std::vector<int> levelRows_;
    bool plotValid_ = false;
};
