#pragma once

// What a plot draws inside its plot rectangle (a line series, a density image): an item
// names the axes it maps to, says what range of values it covers and draws itself into the
// plot's raster. It tells its owner that it changed (chart::TOwner) and never knows the plot.

#include "widgets/chart/ChartOwner.h"
#include "widgets/chart/ChartRules.h"

#include <optional>
#include <string>
#include <vector>

enum class THorizAxis { aTopAxis, aBottomAxis, aBothHorizAxis, aCustomHorizAxis };
enum class TVertAxis { aLeftAxis, aRightAxis, aBothVertAxis, aCustomVertAxis };

namespace chart {

class TRaster;

// Where an item is drawn: the maps of its horizontal and vertical axes (the horizontal one
// moved by the item's shift), and the plot rectangle, to whose inside the drawing is clipped
// when Clip is set.
struct TItemView {
    TAxisMap X;
    const TAxisMap& Y;
    TRectI Plot;
    bool Clip = true;
};

// The least and the greatest value an item has along one of its axes.
struct TExtent {
    double Minimum;
    double Maximum;
};

// A label an item puts on one of its points, with the point's value along the axis.
struct TPointLabel {
    double Value;
    std::string Text;
};

class TPlotItem {
public:
    TPlotItem() = default;
    virtual ~TPlotItem() = default;
    TPlotItem(const TPlotItem&) = delete;
    TPlotItem& operator=(const TPlotItem&) = delete;

    // The axes the item's X and Y values map to.
    THorizAxis HorizAxis = THorizAxis::aBottomAxis;
    TVertAxis VertAxis = TVertAxis::aLeftAxis;
    [[nodiscard]] bool Uses(TAxisKind axis) const noexcept;

    // An inactive item is not drawn; its extent still scales an axis that no active item
    // uses.
    [[nodiscard]] bool Active() const noexcept { return active_; }
    void SetActive(bool active);

    // How far along a linear horizontal axis the item's X values are drawn from where they
    // are: a point at X stands at X + XShift, in drawing, hit tests and the axis' range.
    [[nodiscard]] double XShift() const noexcept { return xShift_; }
    void SetXShift(double shift);

    // Whoever draws the item; none for an item on its own.
    [[nodiscard]] TOwner* Owner() const noexcept { return owner_; }
    void SetOwner(TOwner* owner) noexcept { owner_ = owner; }

    // The item's values along its horizontal or vertical axis; none when it has none.
    [[nodiscard]] virtual std::optional<TExtent> Extent(bool horizontal) const = 0;
    // Whether those values are date-times (days).
    [[nodiscard]] virtual bool DateTime(bool horizontal) const = 0;
    // Pixels the item needs between its data and the ends of its axes.
    [[nodiscard]] virtual int AxisMargin() const { return 0; }
    // The labels of its points, in point order, and whether the first point has one (which
    // makes the horizontal axis show them).
    [[nodiscard]] virtual std::vector<TPointLabel> PointLabels(bool horizontal) const;
    [[nodiscard]] virtual bool FirstPointLabelled() const { return false; }

    virtual void Draw(TRaster& raster, const TItemView& view) = 0;
    // Whether the item covers pixel (x, y), within about a pixel.
    [[nodiscard]] virtual bool Hit(const TItemView& view, int x, int y) const = 0;

protected:
    void Notify(TChange change) const {
        if (owner_)
            owner_->Changed(change);
    }

private:
    bool active_ = true;
    double xShift_ = 0;
    TOwner* owner_ = nullptr;
};

} // namespace chart
