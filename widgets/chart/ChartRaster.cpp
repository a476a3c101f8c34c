#include "ChartRaster.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace chart {

namespace {

std::int64_t FloorDiv(std::int64_t n, std::int64_t d) noexcept {
    std::int64_t q = n / d;
    if ((n % d != 0) && ((n < 0) != (d < 0)))
        --q;
    return q;
}

std::int64_t CeilDiv(std::int64_t n, std::int64_t d) noexcept {
    return -FloorDiv(-n, d);
}

} // namespace

TRaster::TRaster(QImage& image)
    : bits_(reinterpret_cast<QRgb*>(image.bits())),
      stride_(image.bytesPerLine() / 4), bounds_{0, 0, image.width(), image.height()},
      clip_(bounds_) {}

void TRaster::SetClip(const TRectI& clip) noexcept {
    clip_ = {std::max(clip.Left, bounds_.Left), std::max(clip.Top, bounds_.Top),
             std::min(clip.Right, bounds_.Right), std::min(clip.Bottom, bounds_.Bottom)};
}

void TRaster::ResetClip() noexcept {
    clip_ = bounds_;
}

void TRaster::Plot(int x, int y, QRgb colour) noexcept {
    if (clip_.Contains(x, y))
        bits_[y * stride_ + x] = colour;
}

void TRaster::Line(int x0, int y0, int x1, int y1, QRgb colour) noexcept {
    if (clip_.Right <= clip_.Left || clip_.Bottom <= clip_.Top)
        return;
    const std::int64_t dx = std::int64_t{x1} - x0, dy = std::int64_t{y1} - y0;
    const std::int64_t adx = std::llabs(dx), ady = std::llabs(dy);
    if (adx == 0 && ady == 0)
        return;
    // Walk the major axis; the minor coordinate of step k is floor((2k minor + major) /
    // (2 major)) away from the start.
    const bool xMajor = adx >= ady;
    const std::int64_t major = xMajor ? adx : ady, minor = xMajor ? ady : adx;
    const std::int64_t m0 = xMajor ? x0 : y0, n0 = xMajor ? y0 : x0;
    const int sm = (xMajor ? dx : dy) < 0 ? -1 : 1;
    const int sn = (xMajor ? dy : dx) < 0 ? -1 : 1;
    const std::int64_t mLow = xMajor ? clip_.Left : clip_.Top;
    const std::int64_t mHigh = (xMajor ? clip_.Right : clip_.Bottom) - 1;
    const std::int64_t nLow = xMajor ? clip_.Top : clip_.Left;
    const std::int64_t nHigh = (xMajor ? clip_.Bottom : clip_.Right) - 1;

    std::int64_t k0 = 0, k1 = major - 1;
    if (sm > 0) {
        k0 = std::max(k0, mLow - m0);
        k1 = std::min(k1, mHigh - m0);
    } else {
        k0 = std::max(k0, m0 - mHigh);
        k1 = std::min(k1, m0 - mLow);
    }
    const std::int64_t fLow = sn > 0 ? nLow - n0 : n0 - nHigh;
    const std::int64_t fHigh = sn > 0 ? nHigh - n0 : n0 - nLow;
    if (minor == 0) {
        if (fLow > 0 || fHigh < 0)
            return;
    } else {
        if (fHigh < 0)
            return;
        if (fLow > 0)
            k0 = std::max(k0, CeilDiv(2 * major * fLow - major, 2 * minor));
        k1 = std::min(k1, CeilDiv(2 * major * (fHigh + 1) - major, 2 * minor) - 1);
    }
    if (k0 > k1)
        return;

    const std::int64_t twoMajor = 2 * major, twoMinor = 2 * minor;
    std::int64_t numerator = k0 * twoMinor + major;
    std::int64_t f = numerator / twoMajor;
    std::int64_t remainder = numerator % twoMajor;
    std::int64_t m = m0 + sm * k0;
    if (xMajor) {
        QRgb* row = bits_ + (n0 + sn * f) * stride_;
        const qsizetype rowStep = sn * stride_;
        for (std::int64_t k = k0; k <= k1; ++k) {
            row[m] = colour;
            m += sm;
            remainder += twoMinor;
            while (remainder >= twoMajor) {
                remainder -= twoMajor;
                row += rowStep;
            }
        }
    } else {
        std::int64_t x = n0 + sn * f;
        for (std::int64_t k = k0; k <= k1; ++k) {
            bits_[m * stride_ + x] = colour;
            m += sm;
            remainder += twoMinor;
            while (remainder >= twoMajor) {
                remainder -= twoMajor;
                x += sn;
            }
        }
    }
}

void TRaster::VerticalSpan(int x, int y0, int y1, QRgb colour) noexcept {
    if (x < clip_.Left || x >= clip_.Right)
        return;
    const int top = std::max(std::min(y0, y1), clip_.Top);
    const int bottom = std::min(std::max(y0, y1), clip_.Bottom - 1);
    for (int y = top; y <= bottom; ++y)
        bits_[y * stride_ + x] = colour;
}

void TRaster::DottedLine(int x0, int y0, int x1, int y1, QRgb colour) noexcept {
    const int sx = x1 > x0 ? 1 : x1 < x0 ? -1 : 0;
    const int sy = y1 > y0 ? 1 : y1 < y0 ? -1 : 0;
    const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
    for (int k = 0; k <= steps; k += 2)
        Plot(x0 + sx * k, y0 + sy * k, colour);
}

void TRaster::Fill(const TRectI& r, QRgb colour) noexcept {
    const int left = std::max(r.Left, clip_.Left), right = std::min(r.Right, clip_.Right);
    const int top = std::max(r.Top, clip_.Top), bottom = std::min(r.Bottom, clip_.Bottom);
    for (int y = top; y < bottom; ++y)
        std::fill(bits_ + y * stride_ + left, bits_ + y * stride_ + std::max(left, right), colour);
}

std::optional<TIndexRange> VisibleIndexRange(const TChartSeries& series, double xl, double xr) {
    const TChartValueList& xs = series.XValues;
    const std::size_t n = xs.Count();
    if (n == 0)
        return std::nullopt;
    if (xs.Order == TChartListOrder::loNone)
        return TIndexRange{0, n - 1};
    // A list that stays ascending, read through a positive multiplier, can be searched;
    // the result is the one a scan from the start gives.
    const bool sorted = xs.Ascending() && xs.Multiplier() > 0;
    auto firstAtOrAbove = [&](std::size_t from, double v) {
        if (sorted) {
            std::size_t lo = from, hi = n;
            while (lo < hi) {
                const std::size_t mid = lo + (hi - lo) / 2;
                if (xs[mid] >= v)
                    hi = mid;
                else
                    lo = mid + 1;
            }
            return lo;
        }
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
          xs_(series.XValues.Raw().data()), ys_(series.YValues.Raw().data()),
          mx_(series.XValues.Multiplier()), my_(series.YValues.Multiplier()) {}

    [[nodiscard]] double X(std::size_t i) const noexcept { return xs_[i] * mx_; }
    [[nodiscard]] double Y(std::size_t i) const noexcept { return ys_[i] * my_; }
    [[nodiscard]] int Column(std::size_t i) const noexcept { return view_.X.ToPixel(X(i)); }
    [[nodiscard]] int XColumn(double raw) const noexcept { return view_.X.ToPixel(raw * mx_); }
    // The X value where the next column (in the direction of growing X) starts.
    [[nodiscard]] double ColumnEdge(int column) const noexcept {
        return std::max(view_.X.ToValue(column + 0.5), view_.X.ToValue(column - 0.5));
    }

    void Point(std::size_t i) { Point(i, series_.ValueColor(i)); }

    void Point(std::size_t i, TColor k) {
        const TPixel p{view_.X.ToPixel(X(i)), view_.Row(Y(i))};
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
    const double* xs_;
    const double* ys_;
    double mx_, my_;
    TPixel previous_{0, 0};
    bool hasPrevious_ = false;
    TColor previousColor_ = clNone; // a redraw starts as if after a null point
};

// Draws the points [first, end) of one colour run that fall into `column` as the union of
// their vertical segments, after the first point has been drawn with its entry segment.
class TColumnSpans {
public:
    TColumnSpans(TRaster& raster, const TLineSeries& series, const TSeriesView& view,
                 TLineWalker& walker)
        : raster_(raster), view_(view), walker_(walker), ys_(series.YValues.Raw().data()),
          my_(series.YValues.Multiplier()), blocks_(series.YValues.BlockRanges()) {}

    // False when a value cannot be placed by its extremes alone (a NaN, or a pixel beyond
    // the 16-bit range or the map's reach); the caller then draws the points one by one.
    bool Draw(std::size_t first, std::size_t end, int column, TColor k) {
        constexpr std::size_t B = TChartValueList::BlockSize;
        const std::size_t last = end - 1;
        int yLast = 0;
        if (!Pixel(ys_[last] * my_, yLast) || !InPixelRange(yLast))
            return false;

        // The points that end the run on the last point's row draw nothing toward it. A
        // block whose extremes both land on that row is passed whole (each block is looked
        // at once); the points of others one by one.
        std::size_t tail = last;
        std::size_t looked = blocks_.size();
        while (tail > first) {
            const std::size_t holder = (tail - 1) / B;
            if (holder < blocks_.size() && holder != looked) {
                looked = holder;
                const auto& block = blocks_[holder];
                int p0 = 0, p1 = 0;
                const bool flat = (block.Min == ys_[last] && block.Max == ys_[last]) ||
                                  (Pixel(block.Min * my_, p0) && Pixel(block.Max * my_, p1) &&
                                   p0 == yLast && p1 == yLast);
                if (flat) {
                    tail = std::max(first, holder * B);
                    continue;
                }
            }
            if (ys_[tail - 1] != ys_[last]) {
                int p = 0;
                if (!Pixel(ys_[tail - 1] * my_, p))
                    return false;
                if (p != yLast)
                    break;
            }
            --tail;
        }
        if (tail == first) {
            walker_.Continue({column, yLast}, k);
            return true;
        }

        double lo = std::numeric_limits<double>::infinity(), hi = -lo;
        bool nan = false;
        auto take = [&](double v) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
            nan |= std::isnan(v);
        };
        // Whole blocks first; a partial block at either end is read point by point only
        // when its block's range could widen what the rest gives.
        take(ys_[first]);
        take(ys_[tail - 1]);
        const std::size_t headEnd = std::min(tail, (first + B - 1) / B * B);
        std::size_t bodyEnd = headEnd;
        for (; bodyEnd + B <= tail && bodyEnd / B < blocks_.size(); bodyEnd += B) {
            const auto& block = blocks_[bodyEnd / B];
            take(block.Min);
            take(block.Max);
        }
        auto partial = [&](std::size_t from, std::size_t to) {
            if (from >= to)
                return;
            if (from / B < blocks_.size()) {
                const auto& block = blocks_[from / B];
                if (block.Min >= lo && block.Max <= hi) // false for a NaN
                    return;
            }
            for (std::size_t i = from; i < to; ++i)
                take(ys_[i]);
        };
        partial(first, headEnd);
        partial(bodyEnd, tail);
        if (nan)
            return false;
        int p0 = 0, p1 = 0;
        if (!Pixel(lo * my_, p0) || !Pixel(hi * my_, p1))
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
        return Pixel(ys_[i] * my_, row) && InPixelRange(row);
    }

    // The index past the points from i on (before stop) that lie on `row`, point i's row,
    // found block by block; i + 1 when i's block is not wholly on that row, which leaves
    // the points to the column spans.
    [[nodiscard]] std::size_t RowEnd(std::size_t i, std::size_t stop, int row) const noexcept {
        constexpr std::size_t B = TChartValueList::BlockSize;
        const double value = ys_[i];
        auto onRow = [&](double v) {
            int p = 0;
            return v == value || (Pixel(v * my_, p) && p == row);
        };
        auto blockOnRow = [&](std::size_t b) {
            return b < blocks_.size() && onRow(blocks_[b].Min) && onRow(blocks_[b].Max);
        };
        std::size_t block = i / B;
        if (!blockOnRow(block))
            return i + 1;
        ++block;
        while ((block + 1) * B <= stop && blockOnRow(block))
            ++block;
        std::size_t j = std::min(stop, std::max(i + 1, block * B));
        while (j < stop && onRow(ys_[j]))
            ++j;
        return j;
    }

private:
    // The row of v when the map places it by value (not at the centre as out of reach).
    [[nodiscard]] bool Pixel(double v, int& pixel) const noexcept {
        return view_.LinearRow(v, pixel);
    }

    TRaster& raster_;
    const TSeriesView& view_;
    TLineWalker& walker_;
    const double* ys_;
    double my_;
    const std::vector<TChartValueList::TBlockRange>& blocks_;
};

// The first index in (from, end) whose column differs from `column`, or end; the columns
// of an ascending X list never go back. Whole blocks that end in the column are passed by
// their last value, so that the search touches little of the list.
std::size_t ColumnEnd(const TLineWalker& walker,
                      const std::vector<TChartValueList::TBlockRange>& xBlocks, std::size_t from,
                      std::size_t end, int column) {
    constexpr std::size_t B = TChartValueList::BlockSize;
    std::size_t lo = from;
    for (std::size_t block = from / B; block < xBlocks.size() && (block + 1) * B <= end; ++block) {
        const double last = xBlocks[block].Max;
        if (std::isnan(xBlocks[block].Min) || walker.XColumn(last) != column)
            break;
        lo = std::max(lo, (block + 1) * B - 1);
    }
    const std::size_t limit = std::min(end, (lo / B + 1) * B);
    // Within the block, start where the column's edge value falls between the ends: evenly
    // spaced X values (the program's frame numbers) put the first probe next to the answer,
    // and the search around it stays within a few cache lines.
    std::size_t hi = limit;
    std::size_t guess = lo + 1;
    if (limit - lo > 2) {
        const double x0 = walker.X(lo), x1 = walker.X(limit - 1);
        const double edge = walker.ColumnEdge(column);
        if (x1 > x0 && edge > x0) {
            const double at = lo + (edge - x0) / (x1 - x0) * static_cast<double>(limit - 1 - lo);
            guess = static_cast<std::size_t>(
                std::clamp(at, static_cast<double>(lo + 1), static_cast<double>(limit - 1)));
        }
    }
    if (guess < limit) {
        if (walker.Column(guess) == column) {
            lo = guess;
            for (std::size_t step = 1;; step *= 2) {
                const std::size_t probe = guess + step;
                if (probe >= limit)
                    break;
                if (walker.Column(probe) != column) {
                    hi = probe;
                    break;
                }
                lo = probe;
            }
        } else {
            hi = guess;
            for (std::size_t step = 1; step < guess - lo; step *= 2) {
                const std::size_t probe = guess - step;
                if (walker.Column(probe) == column) {
                    lo = probe;
                    break;
                }
                hi = probe;
            }
        }
    }
    while (hi - lo > 1) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (walker.Column(mid) == column)
            lo = mid;
        else
            hi = mid;
    }
    if (hi == limit && limit < end && walker.Column(limit) == column)
        return ColumnEnd(walker, xBlocks, limit, end, column);
    return hi;
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
    const auto& xBlocks = series.XValues.BlockRanges();
    const double* xs = series.XValues.Raw().data();
    const double* ys = series.YValues.Raw().data();
    const std::size_t count = series.Count();
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
        const int column = walker.Column(i);
        if (!InPixelRange(column)) {
            walker.Point(i, k);
            ++i;
            continue;
        }
        // A stretch on one row over several columns is one horizontal line.
        int row = 0;
        if (spans.Row(i, row)) {
            const std::size_t rowEnd = spans.RowEnd(i, stop, row);
            if (rowEnd - i > TChartValueList::BlockSize) {
                const int lastColumn = walker.Column(rowEnd - 1);
                if (InPixelRange(lastColumn)) {
                    walker.Point(i, k);
                    raster.Line(column, row, lastColumn, row, ToRgb(k));
                    walker.Continue({lastColumn, row}, k);
                    i = rowEnd;
                    continue;
                }
            }
        }
        const std::size_t end = ColumnEnd(walker, xBlocks, i, stop, column);
        // The next columns most likely end as far on as this one did: ask for their values
        // now, so that their loads overlap this column's work.
        for (std::size_t ahead = 1; ahead <= 2; ++ahead) {
            const std::size_t next = end + ahead * (end - i);
            if (next < count) {
                __builtin_prefetch(xs + next);
                __builtin_prefetch(ys + next - 1);
            }
        }
        walker.Point(i, k);
        if (end - i >= 2 && !spans.Draw(i, end, column, k))
            for (std::size_t j = i + 1; j < end; ++j)
                walker.Point(j, k);
        i = end;
    }
}

} // namespace chart
