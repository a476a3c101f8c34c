#pragma once

// Aliased one-pixel drawing straight into an image's memory, and the line series drawn
// with it: once segment by segment, and once with the work shrunk to what can change pixels.
// Both go through the same rasteriser, so they give the same picture pixel for pixel.

#include "widgets/chart/ChartPen.h"
#include "widgets/chart/ChartRules.h"
#include "widgets/chart/ChartSeries.h"

#include <QImage>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>

namespace chart {

// Draws into a 32-bit image (RGB32 or ARGB32_Premultiplied with opaque colours).
class TRaster {
public:
    explicit TRaster(QImage& image);

    // Drawing is limited to the clip, intersected with the image.
    void SetClip(const TRectI& clip) noexcept;
    void ResetClip() noexcept;

    // Dashed lines and spans leave out the pixels whose place along the line's major axis
    // (X for a line at most 45 degrees off horizontal, Y otherwise and for spans) falls in
    // the gap of every DashPeriod pixels. The dashes stay put on the screen, and a line
    // drawn in pieces is dashed as the same line drawn whole.
    static constexpr int DashPeriod = 8; // a power of two: the place in it is a mask away
    static constexpr int DashLength = 5;
    void SetDashed(bool dashed) noexcept { dashed_ = dashed; }
    [[nodiscard]] static bool InDash(std::int64_t along) noexcept {
        return (along & (DashPeriod - 1)) < DashLength;
    }

    // A line that covers its first point and stops one pixel short of its last, so that a
    // polyline colours every pixel once. Each pixel lies on the row (or column) nearest to
    // the exact line, halves going toward the last point.
    void Line(int x0, int y0, int x1, int y1, QRgb colour) noexcept;
    // Rows y0 to y1 of column x, both ends included.
    void VerticalSpan(int x, int y0, int y1, QRgb colour) noexcept;
    // Every other pixel of a horizontal or vertical line, from (x0, y0) on, ends included.
    void DottedLine(int x0, int y0, int x1, int y1, QRgb colour) noexcept;
    void Fill(const TRectI& r, QRgb colour) noexcept;

private:
    void Plot(int x, int y, QRgb colour) noexcept;

    QRgb* bits_;
    qsizetype stride_;
    TRectI bounds_;
    TRectI clip_;
    bool dashed_ = false;
};

struct TIndexRange {
    std::size_t First;
    std::size_t Last; // included
};

// The points a redraw visits: from the first point at or right of xl to the first point at
// or right of xr (the one whose segment leaves the plot), all points for an unordered list.
[[nodiscard]] std::optional<TIndexRange> VisibleIndexRange(const TChartSeries& series, double xl,
                                                           double xr);

struct TSeriesView {
    const TAxisMap& X;
    const TAxisMap& Y;
    int EdgePixel;    // the plot edge the line enters from
    double EdgeValue; // the X value at that edge
    // The rows the clip shows. A point on the vertical axis' span but outside them lies
    // under the plot's frame or the bottom axis line, where a line that keeps to the range's
    // end would never show: it is drawn on the nearest row that shows instead.
    int FirstShownRow = std::numeric_limits<int>::min();
    int LastShownRow = std::numeric_limits<int>::max();

    // The row of a Y value, as lines are drawn.
    [[nodiscard]] int Row(double y) const noexcept { return Shown(Y.ToPixel(y)); }
    // Y.LinearPixel, as lines are drawn.
    [[nodiscard]] bool LinearRow(double y, int& row) const noexcept {
        if (!Y.LinearPixel(y, row))
            return false;
        row = Shown(row);
        return true;
    }

private:
    // Keeps rows in order, so that the extremes of a run of points give its extreme rows.
    [[nodiscard]] int Shown(int row) const noexcept {
        if (row < Y.Start || row > Y.End || FirstShownRow > LastShownRow)
            return row;
        return std::clamp(row, FirstShownRow, LastShownRow);
    }
};

// The series' line over `range`, segment by segment, in the colours of the segments' end
// points, breaking at null points and skipping points beyond the 16-bit pixel range.
void DrawLineSeriesSegments(TRaster& raster, const TLineSeries& series, const TSeriesView& view,
                            TIndexRange range);

// The same picture, with each run of points that falls into one pixel column and has one
// colour drawn as the one vertical span that its segments cover.
void DrawLineSeries(TRaster& raster, const TLineSeries& series, const TSeriesView& view,
                    TIndexRange range);

} // namespace chart
