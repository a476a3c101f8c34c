#include "analysis/Band.h"

#include <stdexcept>

namespace analysis {

namespace {

double CheckedTolerance(double tolerance) {
    if (!std::isfinite(tolerance) || tolerance < 0)
        throw std::invalid_argument("the band's tolerance is a number from 0");
    return tolerance;
}

const TFrameFilter& Checked(const TFrameFilter& filter) {
    CheckFilter(filter);
    return filter;
}

} // namespace

TBandCounts::TBandCounts(const TExpectedAdvance& expected, double tolerance,
                         const TFrameFilter& filter)
    : tolerance_(CheckedTolerance(tolerance)), frames_(Checked(filter).Frames),
      expected_(expected) {
    index_.Reset(256);
    index_.Filter(filter);
    index_.KeepCurves(expected_.Curves());
    index_.NeedSpeed();
    index_.Add(TQuantity::Curve, 1, [](double curve) { return static_cast<std::int64_t>(curve); });
}

void TBandCounts::Extend(const telemetry::TFrameTable& table, std::int64_t end) {
    end = std::min(end, table.Rows());
    if (end <= counted_)
        return;
    kernel::ForEachCell(
        table, frames_.Within({counted_, end}), index_,
        [&](std::uint32_t curve, const telemetry::TFrameRun& run, std::size_t i) {
            const double expected =
                expected_.Expected(static_cast<std::uint8_t>(curve), run.Period(i));
            if (InsideBand(telemetry::AdvanceDegrees(run.AdvanceCode(i)), expected, tolerance_))
                ++inside_[curve];
            else
                ++outside_[curve];
        });
    counted_ = end;
}

std::vector<TCurveBand> TBandCounts::Curves() const {
    std::vector<TCurveBand> curves;
    for (std::size_t curve = 0; curve < 256; ++curve)
        if (inside_[curve] + outside_[curve] > 0)
            curves.push_back({static_cast<std::uint8_t>(curve), inside_[curve] + outside_[curve],
                              outside_[curve]});
    return curves;
}

std::string BandCsv(const TBandCounts& band) {
    std::string text = "curve,frames,outside\n";
    for (const TCurveBand& c : band.Curves())
        text += std::to_string(c.Curve) + ',' + std::to_string(c.Frames) + ',' +
                std::to_string(c.Outside) + '\n';
    return text;
}

} // namespace analysis
