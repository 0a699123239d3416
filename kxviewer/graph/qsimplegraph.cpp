#include "kxviewer/graph/qsimplegraph.h"

#include <algorithm>
#include <unordered_set>

#include <QPainter>
#include <QPainterPath>

#include "kxviewer/graph/cgraphelement.h"
#include "kxviewer/graph/graphmodel.h"
#include "kxviewer/graph/graphowner.h"
#include "kxviewer/graph/graphpointbuilder.h"
#include "kxviewer/graph/graphslider.h"
#include "utils/common/convert.h"

namespace {

constexpr int BOOKMARK_NEAR = 10; // pixels within which bookmarks share a label
constexpr int MIN_X_DIVISIONS = 2;
constexpr int LABEL_GAP = 5;
constexpr uint64_t MAX_LEVEL_ROWS = 4096; // levels whose rows a paint keeps

QString Number(int64_t value) { return QString::number(qlonglong(value)); }

// A box of the given width centred on x, kept inside [left, right].
int BoxStart(int x, int width, int left, int right)
{
    int start = x - width / 2;
    if (start < left)
        start = x;
    if (start + width > right)
        start = right - width;
    return start;
}

} // namespace

QSimpleGraph::QSimpleGraph(QWidget* parent) : QWidget(parent)
{
    Range = this;
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::StrongFocus);
    // The right press opens the graph's own menu: the tab's window must
    // not open its tool-bar menu over it.
    setContextMenuPolicy(Qt::PreventContextMenu);
    setMouseTracking(true);
    connect(&blinkTimer_, &QTimer::timeout, this, &QSimpleGraph::tick);
    blinkTimer_.start(BLINK_MS);
}

QString QSimpleGraph::TimeText(int64_t time)
{
    char text[64];
    ZmLib::Time2Str(time, text, sizeof text, 3);
    return QString::fromLatin1(text);
}

void QSimpleGraph::SetModel(GraphModel* model)
{
    model_ = model;
    Hits.clear();
    dense_.clear();
    const GraphPair x = model ? model->TimeRange() : GraphPair{0, 1};
    const GraphPair y = model ? model->LevelRange() : GraphPair{0, 7};
    yDivisions_ = model ? model->YDivisions() : 7;
    SetRange(x.min, x.max, y.min, y.max, true, true);
}

void QSimpleGraph::DataChanged() { Invalidate(); }

void QSimpleGraph::SetCursor(int32_t row, int64_t time)
{
    cursorRow_ = row;
    cursorDisplayTime_ = time;
    update();
}

void QSimpleGraph::SetBands(std::vector<GraphBand> bands)
{
    bands_ = std::move(bands);
    Invalidate();
}

void QSimpleGraph::SetBookmarks(std::vector<GraphBookmark> bookmarks)
{
    std::unordered_set<uint32_t> rows;
    bookmarks_.clear();
    for (const GraphBookmark& b : bookmarks)
        if (rows.insert(b.row).second)
            bookmarks_.push_back(b);
    Invalidate();
}

void QSimpleGraph::SetMarkIn(int64_t time, int32_t row)
{
    markInTime_ = time;
    markInRow_ = row;
    Invalidate();
}

void QSimpleGraph::SetMarkOut(int64_t time, int32_t row)
{
    markOutTime_ = time;
    markOutRow_ = row;
    Invalidate();
}

void QSimpleGraph::SetColours(const QColor& selection, const QColor& bookmark)
{
    selection_ = selection;
    bookmark_ = bookmark;
    Invalidate();
}

void QSimpleGraph::SetGrid(bool grid)
{
    grid_ = grid;
    Invalidate();
}

void QSimpleGraph::SetPaintReason(int reason)
{
    paintReason_ = reason;
    update();
}

void QSimpleGraph::Invalidate()
{
    plotValid_ = false;
    update();
}

void QSimpleGraph::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Invalidate();
}

void QSimpleGraph::Layout()
{
    WidgetRect = QRect(QPoint(0, 0), size());
    const GraphPair y = VisibleY();
    const int64_t largestY = std::max(y.min == INT64_MIN ? INT64_MAX : std::abs(y.min), std::abs(y.max));
    const QFontMetrics label(LabelFont);
    const QSize a = label.size(0, Number(largestY));
    const QSize b = label.size(0, Number(VisibleX().max));
    const int h = QFontMetrics(TitleFont).size(0, Number(VisibleX().max)).height();
    PlotRect = QRect(QPoint(WidgetRect.left() + a.width() + 20 + h, WidgetRect.top() + h + 10),
                     QPoint(WidgetRect.right() - 10 - b.width() / 2, WidgetRect.bottom() - 10 - h - b.height()));
    UpdateScale();
}

void QSimpleGraph::paintEvent(QPaintEvent*)
{
    if (!plotValid_ || plot_.size() != size()) {
        Layout();
        PaintPlot();
    }
    QPainter p(this);
    p.drawImage(0, 0, plot_);
    PaintCursor(p);
    // Over the grid and the cursor: right after Mark In the cursor stands
    // on the mark, and a mark on a grid column would be hidden.
    PaintMarkIn(p);
    PaintRubberBand(p);
    p.end();
    if (slider_)
        slider_->update();
    paintReason_ = REASON_FULL;
}

void QSimpleGraph::PaintPlot()
{
    if (plot_.size() != size())
        plot_ = QImage(size(), QImage::Format_ARGB32_Premultiplied);
    // The widget paints opaquely: the corners outside the rounded
    // background show the window colour, never what the buffer held.
    plot_.fill(palette().color(QPalette::Window));
    plotValid_ = true;
    lines_.clear();
    levelRows_.clear();
    QPainter p(&plot_);
    if (cornerRadius_ > 0) {
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(Qt::NoPen);
        p.setBrush(background_);
        p.drawRoundedRect(WidgetRect, cornerRadius_, cornerRadius_);
    } else {
        p.fillRect(WidgetRect, background_);
    }
    p.setClipRect(PlotRect);
    PaintBands(p);
    p.setClipping(false);
    PaintAxes(p);
    PaintBookmarks(p);
    p.setClipRect(PlotRect);
    PaintLines(p);
    p.end();
    WriteLines();
    if (owner_ && owner_->ShowsPresentationErrors()) {
        QPainter icons(&plot_);
        icons.setClipRect(PlotRect);
        PaintErrorIcons(icons);
    }
}

void QSimpleGraph::WriteLines()
{
    // One-pixel lines written straight into the image. The threads' spans of
    // a column overlap: the column is walked from the last drawn span back,
    // each pixel written once, so a paint writes at most the plot's pixels
    // down the columns however many threads are dense there.
    const QRect clip = PlotRect & plot_.rect();
    if (clip.isEmpty())
        return;
    uchar* bits = plot_.bits();
    const qsizetype stride = plot_.bytesPerLine();
    auto pixel = [bits, stride](int x, int y) { return reinterpret_cast<QRgb*>(bits + y * stride) + x; };
    std::vector<uint32_t> first(size_t(clip.width()) + 1, 0);
    for (const SpanLine& l : lines_) {
        if (l.x0 != l.x1) {
            if (l.y0 < clip.top() || l.y0 > clip.bottom())
                continue;
            const int left = std::max(l.x0, clip.left());
            const int right = std::min(l.x1, clip.right());
            if (left <= right)
                std::fill(pixel(left, l.y0), pixel(right, l.y0) + 1, l.colour);
        } else if (l.x0 >= clip.left() && l.x0 <= clip.right()) {
            ++first[size_t(l.x0 - clip.left()) + 1];
        }
    }
    for (size_t c = 1; c < first.size(); ++c)
        first[c] += first[c - 1];
    // The vertical lines grouped by column, in drawing order within each.
    std::vector<uint32_t> byColumn(first.back());
    std::vector<uint32_t> next(first.begin(), first.end() - 1);
    for (uint32_t i = 0; i < lines_.size(); ++i) {
        const SpanLine& l = lines_[i];
        if (l.x0 == l.x1 && l.x0 >= clip.left() && l.x0 <= clip.right())
            byColumn[next[size_t(l.x0 - clip.left())]++] = i;
    }
    std::vector<uint8_t> written(size_t(clip.height()));
    for (int c = 0; c < clip.width(); ++c) {
        if (first[size_t(c)] == first[size_t(c) + 1])
            continue;
        std::fill(written.begin(), written.end(), 0);
        // The largest run of written rows: spans of many threads mostly fall
        // inside it and are skipped whole.
        int coveredTop = 1;
        int coveredBottom = 0;
        for (uint32_t k = first[size_t(c) + 1]; k-- > first[size_t(c)];) {
            const SpanLine& l = lines_[byColumn[k]];
            const int top = std::max(l.y0, clip.top());
            const int bottom = std::min(l.y1, clip.bottom());
            if (top >= coveredTop && bottom <= coveredBottom)
                continue;
            if (coveredTop > coveredBottom || (top <= coveredBottom + 1 && bottom + 1 >= coveredTop)) {
                coveredTop = coveredTop > coveredBottom ? top : std::min(coveredTop, top);
                coveredBottom = std::max(coveredBottom, bottom);
            } else if (bottom - top > coveredBottom - coveredTop) {
                coveredTop = top;
                coveredBottom = bottom;
            }
            for (int y = top; y <= bottom; ++y) {
                uint8_t& done = written[size_t(y - clip.top())];
                if (!done) {
                    *pixel(clip.left() + c, y) = l.colour;
                    done = 1;
                }
            }
        }
    }
}

void QSimpleGraph::PaintBands(QPainter& p)
{
    const int left = PlotRect.left();
    const int columns = PlotRect.width();
    if (XUnitsPerPixel <= 0.0 || columns <= 0)
        return;
    const GraphPair window = VisibleX();
    // One colour per column, later bands over earlier ones, filled in runs:
    // thousands of ranges cost no more than the plot width.
    std::vector<QRgb> column(size_t(columns), 0);
    std::vector<bool> used(size_t(columns), false);
    for (const GraphBand& band : bands_) {
        if (band.to < window.min || band.from > window.max)
            continue;
        const int from = GraphLevels::ColumnOf(std::max(band.from, window.min), window.min, window.max, columns);
        const int to = GraphLevels::ColumnOf(std::min(band.to, window.max), window.min, window.max, columns);
        for (int c = from; c <= to; ++c) {
            column[size_t(c)] = band.colour;
            used[size_t(c)] = true;
        }
    }
    for (int c = 0; c < columns;) {
        int end = c + 1;
        while (end < columns && used[size_t(end)] == used[size_t(c)] && column[size_t(end)] == column[size_t(c)])
            ++end;
        if (used[size_t(c)])
            p.fillRect(QRect(left + c, PlotRect.top(), end - c, PlotRect.height()), QColor(column[size_t(c)]));
        c = end;
    }
}

void QSimpleGraph::PaintMarkIn(QPainter& p)
{
    const int x = markInTime_ == NO_MARK ? -1 : TimeToPixel(markInTime_);
    if (x < 0)
        return;
    // One crisp pixel column, not two half-blended ones, that covers the
    // plot image's column at any device pixel ratio.
    p.fillRect(QRect(x, PlotRect.top(), 1, PlotRect.height()), selection_);
}

void QSimpleGraph::FitXDivisions(const QFontMetrics& metrics)
{
    const GraphPair x = VisibleX();
    for (;;) {
        const int64_t step = int64_t(x.Span() / uint64_t(xDivisions_));
        int sum = 0;
        for (int i = 0; i <= xDivisions_; ++i)
            sum += metrics.size(0, Number(int64_t(uint64_t(x.min) + uint64_t(i) * uint64_t(step)))).width();
        if (sum <= PlotRect.width() || xDivisions_ <= MIN_X_DIVISIONS)
            return;
        const int lowered = int(int64_t(PlotRect.width()) * xDivisions_ / sum);
        xDivisions_ = std::max(MIN_X_DIVISIONS, std::min(lowered, xDivisions_ - 1));
    }
}

void QSimpleGraph::FitYDivisions(int labelHeight)
{
    // Without a plot height every label stands on the bottom side.
    if (YUnitsPerPixel <= 0.0) {
        yLabelDivisions_ = 1;
        return;
    }
    // Labels a label height apart at least: no more than the plot's
    // height holds, then fewer while the whole levels of a step are closer.
    const int64_t held = PlotRect.height() / std::max(1, labelHeight);
    yLabelDivisions_ = std::clamp<int64_t>(held, 1, std::max<int64_t>(1, yDivisions_));
    const uint64_t span = VisibleY().Span();
    while (yLabelDivisions_ > 1 && double(span / uint64_t(yLabelDivisions_)) / YUnitsPerPixel < labelHeight)
        --yLabelDivisions_;
}

void QSimpleGraph::PaintAxes(QPainter& p)
{
    const GraphPair x = VisibleX();
    const GraphPair y = VisibleY();
    const QRect r = PlotRect;
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(framePen_);
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.adjusted(0, 0, -1, -1));

    p.setPen(textPen_);
    p.setFont(LabelFont);
    const QFontMetrics metrics(LabelFont);
    FitYDivisions(metrics.height());
    const int64_t yDivisions = yLabelDivisions_;
    const int64_t yStep = int64_t(y.Span() / uint64_t(yDivisions));
    for (int64_t i = 0; i <= yDivisions; ++i) {
        const int64_t value = int64_t(uint64_t(y.min) + uint64_t(i) * uint64_t(yStep));
        const QString text = Number(value);
        const QSize s = metrics.size(0, text);
        const int at = YUnitsPerPixel > 0.0 ? YOf(value) : r.bottom();
        p.drawText(QRect(r.left() - LABEL_GAP - s.width(), at - s.height() / 2, s.width(), s.height()),
                   Qt::AlignCenter, text);
    }
    FitXDivisions(metrics);
    const int64_t xStep = int64_t(x.Span() / uint64_t(xDivisions_));
    for (int i = 0; i <= xDivisions_; ++i) {
        const QString text = Number(int64_t(uint64_t(x.min) + uint64_t(i) * uint64_t(xStep)));
        const QSize s = metrics.size(0, text);
        const int at = r.left() + int(int64_t(r.width()) * i / xDivisions_);
        p.drawText(QRect(at - s.width() / 2, r.bottom() + LABEL_GAP, s.width(), s.height()), Qt::AlignCenter, text);
    }

    for (int i = 0; i <= xDivisions_; ++i) {
        const int at = r.left() + int(int64_t(r.width() - 1) * i / xDivisions_);
        if (grid_) {
            if (i > 0 && i < xDivisions_) {
                p.setPen(gridPen_.color().darker(150));
                p.drawLine(at, r.top(), at, r.bottom());
            }
        } else {
            p.setPen(gridPen_);
            p.drawLine(at, r.bottom(), at, r.bottom() - TickLength);
            p.drawLine(at, r.top(), at, r.top() + TickLength);
        }
    }
    for (int64_t i = 0; i <= yDivisions; ++i) {
        const int at = r.bottom() - int(int64_t(r.height() - 1) * i / yDivisions);
        if (grid_) {
            p.setPen(gridPen_.color().darker(150));
            p.drawLine(r.left(), at, r.right(), at);
        } else {
            p.setPen(gridPen_);
            p.drawLine(r.left(), at, r.left() + TickLength, at);
            p.drawLine(r.right(), at, r.right() - TickLength, at);
        }
    }
}

std::vector<int> QSimpleGraph::NeighbourCounts(const std::vector<int>& columns)
{
    // Sorted once: the neighbours of each column are a range of this.
    std::vector<int> sorted(columns);
    std::sort(sorted.begin(), sorted.end());
    std::vector<int> counts;
    counts.reserve(columns.size());
    for (int x : columns)
        counts.push_back(int(std::upper_bound(sorted.begin(), sorted.end(), x + BOOKMARK_NEAR - 1) -
                             std::lower_bound(sorted.begin(), sorted.end(), x - BOOKMARK_NEAR + 1)));
    return counts;
}

void QSimpleGraph::PaintBookmarks(QPainter& p)
{
    if (bookmarks_.empty() || XUnitsPerPixel <= 0.0)
        return;
    std::vector<int> xs;
    std::vector<size_t> shown;
    for (size_t i = 0; i < bookmarks_.size(); ++i) {
        const int x = TimeToPixel(bookmarks_[i].time);
        if (x < 0)
            continue;
        xs.push_back(x);
        shown.push_back(i);
    }
    const std::vector<int> counts = NeighbourCounts(xs);
    const QFontMetrics metrics(LabelFont);
    p.setPen(bookmark_);
    p.setFont(LabelFont);
    const int height = metrics.height();
    int lastEnd = INT32_MIN;
    // Bare lines merge per column: many bookmarks on a pixel draw one.
    std::vector<bool> lined(size_t(std::max(0, WidgetRect.width())), false);
    for (size_t j = 0; j < xs.size(); ++j) {
        const int x = xs[j];
        QString label = TimeText(bookmarks_[shown[j]].time);
        if (counts[j] > 1)
            label = QString::number(counts[j]) + QLatin1Char(':') + label;
        // The box is the label's own width: a box narrower than the text
        // let the text run past the plot's right side and be cut.
        const int width = metrics.horizontalAdvance(label);
        const int start = BoxStart(x, width, PlotRect.left(), PlotRect.right());
        if (start <= lastEnd) {
            if (!lined[size_t(x)])
                p.drawLine(x, PlotRect.top(), x, PlotRect.bottom());
            lined[size_t(x)] = true;
            continue;
        }
        p.drawText(start, PlotRect.top() + 8 - height, label);
        p.drawLine(start, PlotRect.top() + 10 - height, start + width, PlotRect.top() + 10 - height);
        p.drawLine(x, PlotRect.top() + 11 - height, x, PlotRect.bottom());
        lastEnd = start + width;
    }
}

void QSimpleGraph::PaintLines(QPainter& p)
{
    Hits.clear();
    dense_.clear();
    // Without a plot area or a span there is no scale to place points by.
    if (!model_ || XUnitsPerPixel <= 0.0 || YUnitsPerPixel <= 0.0)
        return;
    const GraphPair window = VisibleX();
    levelRows_.clear();
    const uint64_t levels = VisibleY().Span() < MAX_LEVEL_ROWS ? VisibleY().Span() + 1 : 0;
    for (uint64_t i = 0; i < levels; ++i)
        levelRows_.push_back(YOf(int64_t(uint64_t(VisibleY().min) + i)));
    GraphColumns columns;
    for (const CGraphElement* e = model_->First(); e; e = e->NextEntry()) {
        if (!e->Shown() || e->Count == 0)
            continue;
        e->Levels.Columns(e->X, e->Y, window.min, window.max, PlotRect.width(), columns);
        if (columns.exact) {
            PaintElementPoints(p, *e, columns.points);
        } else {
            PaintElementSpans(*e, columns.spans);
            dense_.push_back(e);
        }
    }
}

void QSimpleGraph::PaintElementSpans(const CGraphElement& e, const std::vector<GraphColumnSpan>& spans)
{
    const double perColumn = double(VisibleX().Span()) / double(spans.size());
    const QRgb colour = qPremultiply(e.Pen.color().rgba());
    const size_t first = lines_.size();
    // A pixel that continues the thread's last line's row makes that line
    // longer: idle threads cost one line per run, not one per column.
    auto add = [this, colour, first](int x0, int y0, int x1, int y1) {
        if (y0 == y1 && lines_.size() > first) {
            SpanLine& last = lines_.back();
            if (last.y0 == y0 && last.y1 == y0 && last.x1 + 1 >= x0) {
                last.x1 = std::max(last.x1, x1);
                return;
            }
        }
        lines_.push_back({colour, x0, y0, x1, y1});
    };
    int previous = -1;
    for (size_t c = 0; c < spans.size(); ++c) {
        const GraphColumnSpan& s = spans[c];
        if (s.Empty())
            continue;
        const int x = PlotRect.left() + int(c);
        int top = YOf(s.max);
        int bottom = YOf(s.min);
        // Joined to the previous column unless the gap is one no line spans.
        if (previous >= 0 && double(int(c) - previous) * perColumn <= double(GraphPointBuilder::MAX_FORWARD_GAP)) {
            const GraphColumnSpan& before = spans[size_t(previous)];
            const int64_t level = before.max < s.min ? before.max : before.min > s.max ? before.min : s.min;
            const int y = YOf(level);
            if (int(c) - previous > 1)
                add(PlotRect.left() + previous, y, x - 1, y);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
        add(x, top, x, bottom);
        previous = int(c);
    }
}

void QSimpleGraph::PaintElementPoints(QPainter& p, const CGraphElement& e, std::vector<int32_t>& points)
{
    if (points.empty()) {
        const int32_t before = e.Levels.PointBefore(e.X, VisibleX().min);
        if (before < 0 || before + 1 >= e.Count)
            return;
        points = {before, before + 1};
    } else {
        // The line enters from the left and leaves at the right.
        if (points.front() > 0)
            points.insert(points.begin(), points.front() - 1);
        if (points.back() + 1 < e.Count)
            points.push_back(points.back() + 1);
    }
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    // Pixel centres: straight lines stay one crisp pixel wide.
    p.translate(0.5, 0.5);
    const QBrush filled(e.Pen.color());
    for (size_t i = 0; i < points.size(); ++i) {
        const int32_t k = points[i];
        const QPoint at = MapPoint(e.X[k], e.Y[k]);
        const bool follows = i > 0 && points[i - 1] == k - 1;
        if (follows && e.ConnectFlags[k] != CGraphElement::ALONE) {
            p.setPen(e.X[k - 1] > e.X[k] ? e.DashedPen : e.Pen);
            p.drawLine(MapPoint(e.X[k - 1], e.Y[k - 1]), at);
        }
        p.setPen(e.Pen);
        if (k == 1) {
            const QPoint first = MapPoint(e.X[0], e.Y[0]);
            p.setBrush(filled);
            const QPoint triangle[] = {first + QPoint(-3, 0), first + QPoint(0, -5), first + QPoint(3, 0)};
            p.drawPolygon(triangle, 3);
        }
        p.setBrush(e.ConnectFlags[k] == CGraphElement::ALONE ? filled : QBrush());
        p.drawEllipse(at, 3, 3);
        Hits.push_back({at, e.Rows[k], e.ConnectFlags[k], e.Tid});
    }
    p.restore();
}

int QSimpleGraph::CursorLabelStart(int x, int width) const
{
    int start = x - width;
    if (start < PlotRect.left())
        start = x;
    if (start + width > PlotRect.right())
        start = PlotRect.right() - width;
    return start;
}

void QSimpleGraph::PaintCursor(QPainter& p)
{
    const int x = TimeToPixel(cursorDisplayTime_);
    if (x < 0)
        return;
    const QString text = TimeText(cursorDisplayTime_);
    const QFontMetrics metrics(LabelFont);
    const int width = metrics.horizontalAdvance(text);
    const int height = metrics.height();
    const int start = CursorLabelStart(x, width);
    p.setFont(LabelFont);
    p.setPen(Qt::white);
    p.drawText(start, PlotRect.bottom() + 25 + height, text);
    if (paintReason_ == REASON_HIDE_CURSOR)
        return;
    p.drawLine(start, PlotRect.bottom() + 27 + height, start + width, PlotRect.bottom() + 27 + height);
    p.drawLine(x, PlotRect.top(), x, PlotRect.bottom() + 27 + height);
}

QRect QSimpleGraph::CursorRect() const
{
    const int x = TimeToPixel(cursorDisplayTime_);
    if (x < 0)
        return QRect();
    const QFontMetrics metrics(LabelFont);
    const int width = metrics.horizontalAdvance(TimeText(cursorDisplayTime_));
    const int bottom = PlotRect.bottom() + 28 + metrics.height();
    const QRect line(x, PlotRect.top(), 1, bottom - PlotRect.top());
    const QRect label(CursorLabelStart(x, width), PlotRect.bottom() + 25, width + 1,
                      metrics.height() + metrics.descent() + 4);
    return line | label;
}
