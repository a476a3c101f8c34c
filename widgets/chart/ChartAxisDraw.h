#pragma once

// Drawing one axis from its placement: the room it asks for across the plot's edge before
// the layout, the picture of its labels and ticks walked over its map, and that picture's
// texts and strokes. Nothing here reaches past the axis' own interface.

#include "widgets/chart/ChartAxis.h"
#include "widgets/chart/ChartItem.h"
#include "widgets/chart/ChartRaster.h"

#include <QString>

#include <utility>
#include <vector>

class QPainter;

namespace chart {

// The bands an axis takes from the plot's edge outward: title, labels, and the axis line
// with its ticks. `widestPointLabel` is the widest label of the points on the axis, which
// the point-label styles show instead of values.
struct TAxisBands {
    int Title = 0;
    int Labels = 0;
    int Ticks = 0;
};
[[nodiscard]] TAxisBands MeasureAxis(const TChartAxis& axis, int widestPointLabel);

// What a shown axis draws, worked out before anything is drawn: equal pictures draw equal
// pixels.
struct TAxisPicture {
    bool Shown = false;
    int Line = 0, LabelPosition = 0, TitlePosition = 0, Start = 0, End = 0;
    std::vector<int> Ticks;                      // major tick pixels, in walk order
    std::vector<std::pair<int, QString>> Labels; // pixel along the axis, text
    bool operator==(const TAxisPicture&) const = default;
};

// The labels and ticks of a laid out axis, as its label engine walks them; in the
// point-label styles, the given labels of the first active item on the axis, where they fall.
[[nodiscard]] TAxisPicture WalkAxis(const TChartAxis& axis,
                                    const std::vector<TPointLabel>& pointLabels);

// The picture's title and labels with painter, and its axis line, ticks and grid lines
// (across plot) into raster.
void DrawAxis(QPainter& painter, TRaster& raster, const TChartAxis& axis,
              const TAxisPicture& picture, const TRectI& plot);

// Whether pixel (x, y) lies on a shown axis (the depth axis aside): along its span, between
// its labels' outer edge and three pixels inside its line.
[[nodiscard]] bool AxisHit(const TChartAxis& axis, int x, int y);

// Text measures every chart text uses: the height of a line of the font, and the width of
// the widest of a text's lines.
[[nodiscard]] int FontHeight(const QFont& font);
[[nodiscard]] int TextWidth(const QFont& font, const QString& text);

} // namespace chart
