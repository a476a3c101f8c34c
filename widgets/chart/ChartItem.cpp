#include "widgets/chart/ChartItem.h"

namespace chart {

bool TPlotItem::Uses(TAxisKind axis) const noexcept {
    switch (axis) {
    case TAxisKind::Bottom:
        return HorizAxis == THorizAxis::aBottomAxis || HorizAxis == THorizAxis::aBothHorizAxis;
    case TAxisKind::Top:
        return HorizAxis == THorizAxis::aTopAxis || HorizAxis == THorizAxis::aBothHorizAxis;
    case TAxisKind::Left:
        return VertAxis == TVertAxis::aLeftAxis || VertAxis == TVertAxis::aBothVertAxis;
    case TAxisKind::Right:
        return VertAxis == TVertAxis::aRightAxis || VertAxis == TVertAxis::aBothVertAxis;
    case TAxisKind::Depth:
        return false;
    }
    return false;
}

void TPlotItem::SetActive(bool active) {
    if (active == active_)
        return;
    active_ = active;
    Notify(TChange::Content);
}

void TPlotItem::SetXShift(double shift) {
    if (shift == xShift_)
        return;
    xShift_ = shift;
    Notify(TChange::Content);
}

std::vector<TPointLabel> TPlotItem::PointLabels(bool) const {
    return {};
}

} // namespace chart
