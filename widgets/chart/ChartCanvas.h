#pragma once

// The picture of a plot: the panel with its bevels, captions, back wall and axes, kept as a
// background while what it shows stays the same, and the items drawn over a copy of it at
// every redraw; and the rows in which the new picture differs from the last.

#include "widgets/chart/ChartAxisDraw.h"
#include "widgets/chart/ChartLayout.h"

#include <QImage>
#include <QRect>
#include <QString>

#include <cstdint>
#include <vector>

enum class TBevelCut { bvNone, bvLowered, bvRaised };
enum class TBrushStyle { bsSolid, bsClear, bsHatch };

struct TChartWall {
    TAxisPen Pen;
    TColor Color = clDefault;
    TColor BrushColor = clDefault;
    TBrushStyle BrushStyle = TBrushStyle::bsClear;
    bool operator==(const TChartWall&) const = default;
};

struct TChartText {
    bool Visible = true;
    QString Text; // lines separated by '\n'
    Qt::Alignment Alignment = Qt::AlignHCenter;
    bool operator==(const TChartText&) const = default;
};

namespace chart {

// The panel a plot stands on: its colours, the rings of its bevels and border from the
// outside in, and the wall behind the plot rectangle.
struct TPanel {
    QRgb Colour = 0;
    QRgb Highlight = 0; // of raised bevels' top and left sides
    QRgb Shadow = 0;
    TBevelCut BevelOuter = TBevelCut::bvRaised;
    TBevelCut BevelInner = TBevelCut::bvNone;
    int BevelWidth = 1;
    int BorderWidth = 0;
    TChartWall BackWall;
    bool operator==(const TPanel&) const = default;
};

// A text over or under the plot (a title, a foot) in the area the layout gave it.
struct TCaption {
    QString Text;
    Qt::Alignment Alignment;
    QRect Area;
    bool operator==(const TCaption&) const = default;
};

// Everything the background is drawn from. Generation counts the changes of properties
// that shape it beyond what the rest tells (pens, fonts): an equal background is not drawn
// again.
struct TBackground {
    std::uint64_t Generation = 0;
    QSize Size;
    TPanel Panel;
    TRectI Plot;
    std::vector<TCaption> Captions;
    std::vector<TAxisPicture> Axes; // one per axis of the list; not Shown: not drawn
    bool operator==(const TBackground&) const = default;
};

class TPlotCanvas {
public:
    // Starts a picture of the given size, keeping the last one to compare; false when the
    // size leaves nothing to draw.
    bool Begin(QSize size);
    // Copies the background into the picture, drawn anew first when it differs from the
    // one kept; axes are those the background's pictures belong to.
    void Background(TBackground background, TAxisList axes);
    // Draws the active items over the background, in order, clipped to the plot's inside
    // when clip is set.
    void Items(TItemList items, TAxisList axes, const TRectI& plot, bool clip);
    // The band of rows in which the picture differs from the last one; empty when none.
    [[nodiscard]] QRect ChangedRows() const;

    [[nodiscard]] const QImage& Image() const noexcept { return image_; }

private:
    void DrawBackground(TAxisList axes);

    QImage image_;
    QImage previousImage_;
    TBackground background_;
    QImage backgroundImage_;
};

} // namespace chart
