// The line series drawn into the raster: the points a redraw visits, and their line drawn
// segment by segment or, where many points share a pixel column, by column spans.

#include "widgets/chart/ChartRaster.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

namespace chart {

std::optional<TIndexRange> VisibleIndexRange(const TChartSeries& series, double xl, double xr) {
    const TChartValueList& xs = series.XValues;
    const std::size_t n = xs.Count();
    if (n == 0)
        return std::nullopt;
    if (xs.Order == TChartListOrder::loNone)
        return TIndexRange{0, n - 1};
    // A list that stays ascending, read through a positive multiplier, can be searched;
    // the result is the one a scan from the start gives.
    const double multiplier = xs.Multiplier();
    const bool sorted = xs.Ascending() && multiplier > 0;
    auto firstAtOrAbove = [&](std::size_t from, double v) {
        if (sorted)
            return xs.Stored().SpanEnd(
                from, n, [&](double, double high) { return !(high * multiplier >= v); });
        std::size_t i = from;
        while (i < n && !(xs[i] >= v))
            ++i;
        return i;
    };
    const std::size_t first = firstAtOrAbove(0, xl);
    if (first == n)
        return std::nullopt;
    std::size_t last = n - 1;
    if (xs[n - 1] > xr)
        last = std::min(firstAtOrAbove(first, xr), n - 1);
    return TIndexRange{first, last};
}

namespace {

bool InPixelRange(int p) noexcept {
    return p > -32767 && p < 32767;
}

// Points on one row that make drawing the row as one line worth looking for.
constexpr std::size_t RowStretch = 256;

struct TPixel {
    int X, Y;
    bool operator==(const TPixel&) const = default;
};

// The per-point drawing state of one series over one redraw.
class TLineWalker {
public:
    TLineWalker(TRaster& raster, const TLineSeries& series, const TSeriesView& view,
                TIndexRange range)
        : raster_(raster), series_(series), view_(view), range_(range),
          xs_(series.XValues.Stored()), ys_(series.YValues.Stored()),
          mx_(series.XValues.Multiplier()), my_(series.YValues.Multiplier()) {}

    [[nodiscard]] double X(std::size_t i) const noexcept { return xs_[i] * mx_; }
    [[nodiscard]] double Y(std::size_t i) const noexcept { return ys_[i] * my_; }
    [[nodiscard]] int Column(std::size_t i) const noexcept { return view_.X.ToPixel(X(i)); }
    // The stored X value near which the next column (in the direction of growing X)
    // starts.
    [[nodiscard]] double ColumnEdge(int column) const noexcept {
        return std::max(view_.X.ToValue(column + 0.5), view_.X.ToValue(column - 0.5)) / mx_;
    }

    void Point(std::size_t i) { Point(i, series_.ValueColor(i)); }

    void Point(std::size_t i, TColor k) { Point(i, k, {view_.X.ToPixel(X(i)), view_.Row(Y(i))}); }

    // Point i, whose pixel p the caller has worked out already.
    void Point(std::size_t i, TColor k, TPixel p) {
        if (!InPixelRange(p.X) || !InPixelRange(p.Y)) {
            previousColor_ = k;
            return;
        }
        if (previousColor_ == clNone)
            Move(p);
        if (i == range_.First) {
            if (i > 0) {
                Move({view_.EdgePixel, view_.Row(EntryValue(i))});
                if (series_.ValueColor(i - 1) != clNone)
                    Segment(p, k);
            }
        } else {
            Segment(p, k);
        }
        Move(p);
        previousColor_ = k;
    }

    // Puts the end of the walk after a span drawn for the points before it.
    void Continue(TPixel p, TColor k) noexcept {
        Move(p);
        previousColor_ = k;
    }

    [[nodiscard]] bool PlainPen() const noexcept {
        return series_.LinePen.Width == 1 && !series_.Stairs && !series_.InvertedStairs;
    }

private:
    void Move(TPixel p) noexcept {
        previous_ = p;
        hasPrevious_ = true;
    }

    [[nodiscard]] double EntryValue(std::size_t i) const noexcept {
        const double x0 = X(i - 1), x1 = X(i), y0 = Y(i - 1), y1 = Y(i);
        if (x0 == x1 || series_.Stairs)
            return y0;
        return y0 + (y1 - y0) * (view_.EdgeValue - x0) / (x1 - x0);
    }

    void Segment(TPixel p, TColor k) {
        if (!hasPrevious_ || p == previous_ || k == clNone)
            return;
        const TChartPen& pen = series_.LinePen;
        if (!pen.Visible || pen.PenStyle == TChartPen::Style::psClear)
            return;
        const QRgb colour = ToRgb(k);
        if (series_.Stairs) {
            const TPixel corner =
                series_.InvertedStairs ? TPixel{previous_.X, p.Y} : TPixel{p.X, previous_.Y};
            Stroke(previous_, corner, colour);
            Stroke(corner, p, colour);
        } else {
            Stroke(previous_, p, colour);
        }
    }

    // Wider pens repeat the line beside itself, across its main direction.
    void Stroke(TPixel a, TPixel b, QRgb colour) noexcept {
        const int width = std::max(1, series_.LinePen.Width);
        const bool xMajor = std::abs(b.X - a.X) >= std::abs(b.Y - a.Y);
        for (int d = -(width - 1) / 2; d <= width / 2; ++d) {
            if (xMajor)
                raster_.Line(a.X, a.Y + d, b.X, b.Y + d, colour);
            else
                raster_.Line(a.X + d, a.Y, b.X + d, b.Y, colour);
        }
    }

    TRaster& raster_;
    const TLineSeries& series_;
    const TSeriesView& view_;
    TIndexRange range_;
    const store::TValueStore& xs_;
    const store::TValueStore& ys_;
    double mx_, my_;
    TPixel previous_{0, 0};
    bool hasPrevious_ = false;
    TColor previousColor_ = clNone; // a redraw starts as if after a null point
};

// Whether every stored value from low to high lies on Row, the row of Value.
struct TOnRow {
    const TSeriesView& View;
    double Multiplier;
    double Value;
    int Row;
    bool operator()(double low, double high) const noexcept {
        if (low == Value && high == Value)
            return true;
        int p = 0;
        if (!View.LinearRow(low * Multiplier, p) || p != Row)
            return false;
        return low == high || (View.LinearRow(high * Multiplier, p) && p == Row);
    }
};

// Draws the points [first, end) of one colour run that fall into `column` as the union of
// their vertical segments, after the first point has been drawn with its entry segment.
class TColumnSpans {
public:
    TColumnSpans(TRaster& raster, const TLineSeries& series, const TSeriesView& view,
                 TLineWalker& walker)
        : raster_(raster), view_(view), walker_(walker), ys_(series.YValues.Stored()),
          my_(series.YValues.Multiplier()) {}

    // False when a value cannot be placed by its extremes alone (a NaN, or a pixel beyond
    // the 16-bit range or the map's reach); the caller then draws the points one by one.
    bool Draw(std::size_t first, std::size_t end, int column, TColor k) {
        const std::size_t last = end - 1;
        const double lastValue = ys_[last];
        int yLast = 0;
        if (!Pixel(lastValue, yLast) || !InPixelRange(yLast))
            return false;

        // The points that end the run on the last point's row draw nothing toward it.
        const std::size_t tail = ys_.SpanStart(first, last, OnRow(lastValue, yLast));
        if (tail == first) {
            walker_.Continue({column, yLast}, k);
            return true;
        }
        const store::TExtremes e = ys_.Bounds(first, tail);
        int p0 = 0, p1 = 0;
        if (e.NaN || !Pixel(e.Min, p0) || !Pixel(e.Max, p1))
            return false;
        int top = std::min(p0, p1), bottom = std::max(p0, p1);
        if (!InPixelRange(top) || !InPixelRange(bottom))
            return false;
        // The walk over the points before the final run covers every row between their
        // extremes; the last segment goes on toward the last row and stops one short of it,
        // unless the walk had passed that row before.
        if (yLast > bottom)
            bottom = yLast - 1;
        else if (yLast < top)
            top = yLast + 1;
        raster_.VerticalSpan(column, top, bottom, ToRgb(k));
        walker_.Continue({column, yLast}, k);
        return true;
    }

    // The row of point i, when the map places it by value and within the 16-bit range.
    [[nodiscard]] bool Row(std::size_t i, int& row) const noexcept {
        return Pixel(ys_[i], row) && InPixelRange(row);
    }

    // The index past the points from i on (before stop) that lie on `row`, point i's row,
    // when more than `least` of them do; i + 1 otherwise, which leaves the points to the
    // column spans.
    [[nodiscard]] std::size_t RowEnd(std::size_t i, std::size_t stop, int row,
                                     std::size_t least) const {
        const auto onRow = OnRow(ys_[i], row);
        const std::size_t reach = i + least + 1;
        if (reach > stop)
            return i + 1;
        // A few points tell most stretches off the row before their bounds are asked for.
        for (const std::size_t probe : {i + 1, i + least / 2, reach - 1})
            if (!onRow(ys_[probe], ys_[probe]))
                return i + 1;
        const store::TExtremes e = ys_.Bounds(i, reach);
        if (e.NaN || !e.HasValues() || !onRow(e.Min, e.Max))
            return i + 1;
        return ys_.SpanEnd(reach, stop, onRow);
    }

private:
    // The row of a stored value when the map places it by value (not at the centre as out
    // of reach), as lines are drawn.
    [[nodiscard]] bool Pixel(double stored, int& pixel) const noexcept {
        return view_.LinearRow(stored * my_, pixel);
    }

    [[nodiscard]] TOnRow OnRow(double value, int row) const noexcept {
        return {view_, my_, value, row};
    }

    TRaster& raster_;
    const TSeriesView& view_;
    TLineWalker& walker_;
    const store::TValueStore& ys_;
    double my_;
};

// The first index in (from, end) whose column differs from `column`, or end; the columns
// of an ascending X list never go back. The column's edge value tells where to look: with
// equal X steps (the program's frame numbers) exactly, up to the map's rounding, which a
// few probes around the guess settle.
std::size_t ColumnEnd(const TLineWalker& walker, const store::TValueStore& xs, std::size_t from,
                      std::size_t end, int column) {
    const std::size_t guess = xs.LowerBound(from + 1, end, walker.ColumnEdge(column));
    std::size_t inside = from, outside = end;
    std::size_t step = 1;
    if (guess < end && walker.Column(guess) == column) {
        inside = guess;
        while (inside + step < end && walker.Column(inside + step) == column) {
            inside += step;
            step *= 2;
        }
        outside = std::min(end, inside + step);
    } else {
        outside = guess;
        while (outside - step > inside && walker.Column(outside - step) != column) {
            outside -= step;
            step *= 2;
        }
        inside = std::max(inside, outside > step ? outside - step : 0);
    }
    while (outside - inside > 1) {
        const std::size_t middle = inside + (outside - inside) / 2;
        if (walker.Column(middle) == column)
            inside = middle;
        else
            outside = middle;
    }
    return outside;
}

// Draws point i and the points after it, before stop, that share its colour k and either
// stay on its row for long or share its column; returns the index past them.
std::size_t DrawStretch(TRaster& raster, const TLineSeries& series, TLineWalker& walker,
                        TColumnSpans& spans, std::size_t i, std::size_t stop, TColor k) {
    const int column = walker.Column(i);
    if (!InPixelRange(column)) {
        walker.Point(i, k);
        return i + 1;
    }
    // A long stretch on one row over several columns is one horizontal line.
    int row = 0;
    const bool placed = spans.Row(i, row);
    if (placed) {
        const std::size_t rowEnd = spans.RowEnd(i, stop, row, RowStretch);
        if (rowEnd > i + 1) {
            const int lastColumn = walker.Column(rowEnd - 1);
            if (InPixelRange(lastColumn)) {
                walker.Point(i, k, {column, row});
                raster.Line(column, row, lastColumn, row, ToRgb(k));
                walker.Continue({lastColumn, row}, k);
                return rowEnd;
            }
        }
    }
    const std::size_t end = ColumnEnd(walker, series.XValues.Stored(), i, stop, column);
    // The next columns most likely end as far on as this one did: ask for their values
    // now, so that fetching them overlaps this column's work.
    const store::TValueStore& ys = series.YValues.Stored();
    ys.Prefetch(end + (end - i));
    ys.Prefetch(end + 2 * (end - i));
    if (placed)
        walker.Point(i, k, {column, row});
    else
        walker.Point(i, k);
    if (end - i >= 2 && !spans.Draw(i, end, column, k))
        for (std::size_t j = i + 1; j < end; ++j)
            walker.Point(j, k);
    return end;
}

} // namespace

void DrawLineSeriesSegments(TRaster& raster, const TLineSeries& series, const TSeriesView& view,
                            TIndexRange range) {
    TLineWalker walker(raster, series, view, range);
    for (std::size_t i = range.First; i <= range.Last; ++i)
        walker.Point(i);
}

void DrawLineSeries(TRaster& raster, const TLineSeries& series, const TSeriesView& view,
                    TIndexRange range) {
    TLineWalker walker(raster, series, view, range);
    const bool columns =
        walker.PlainPen() && series.XValues.Order == TChartListOrder::loAscending &&
        series.XValues.Ascending() && series.XValues.Multiplier() > 0 && !view.X.Logarithmic;
    if (!columns) {
        for (std::size_t i = range.First; i <= range.Last; ++i)
            walker.Point(i);
        return;
    }
    TColumnSpans spans(raster, series, view, walker);
    const auto& runs = series.ColorRuns();
    std::size_t run = 0;
    walker.Point(range.First);
    // The last point may lie far beyond the plot, where columns stop growing with X; it is
    // drawn on its own.
    std::size_t i = range.First + 1;
    while (i <= range.Last) {
        while (run + 1 < runs.size() && runs[run + 1].First <= i)
            ++run;
        const std::size_t runEnd = run + 1 < runs.size() ? runs[run + 1].First : series.Count();
        const std::size_t stop = std::min(runEnd, range.Last);
        const TColor stored = runs[run].Color;
        const TColor k = series.ResolveColor(stored, i);
        if (i >= stop || k == clNone || (stored == clDefault && series.ColorEachPoint)) {
            const std::size_t end = std::max(stop, i + 1);
            for (; i < end; ++i)
                walker.Point(i);
            continue;
        }
        i = DrawStretch(raster, series, walker, spans, i, stop, k);
    }
}

} // namespace chart
