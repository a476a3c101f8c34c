#include "analysis/Selection.h"

#include "analysis/FrameKernel.h"
#include "telemetry/DecodedFrame.h"

#include <cmath>
#include <vector>

namespace analysis {

namespace {

// How many frames of the selection have each code of a field. Every figure is read off these,
// exactly and with one pass over the frames.
struct THistograms {
    std::vector<std::uint64_t> Period = std::vector<std::uint64_t>(kernel::Periods);
    std::array<std::array<std::uint64_t, 256>, 5> Bytes{};

    [[nodiscard]] const std::uint64_t* Of(TQuantity q) const noexcept {
        return q == TQuantity::Speed ? Period.data()
                                     : Bytes[static_cast<std::size_t>(q) - 1].data();
    }
};

TQuantityFigures FiguresOf(TQuantity q, const std::uint64_t* counts) {
    const std::span<const double> values = kernel::ValuesByCode(q);
    TQuantityFigures f;
    double sum = 0;
    f.Minimum = std::numeric_limits<double>::infinity();
    f.Maximum = -f.Minimum;
    for (std::size_t code = 0; code < values.size(); ++code) {
        if (counts[code] == 0 || std::isnan(values[code]))
            continue;
        f.Frames += static_cast<std::int64_t>(counts[code]);
        sum += static_cast<double>(counts[code]) * values[code];
        f.Minimum = std::min(f.Minimum, values[code]);
        f.Maximum = std::max(f.Maximum, values[code]);
    }
    if (f.Frames == 0)
        return {};
    const auto n = static_cast<double>(f.Frames);
    f.Mean = sum / n;
    // Around the mean: no cancellation.
    double squares = 0;
    for (std::size_t code = 0; code < values.size(); ++code)
        if (counts[code] != 0 && !std::isnan(values[code]))
            squares += static_cast<double>(counts[code]) * (values[code] - f.Mean) *
                       (values[code] - f.Mean);
    f.StandardDeviation = std::sqrt(squares / n);
    // Equal values have no spread; a sum of many of them may round.
    if (f.Minimum == f.Maximum) {
        f.Mean = f.Minimum;
        f.StandardDeviation = 0;
    }
    return f;
}

} // namespace

TSelectionFigures SelectionFigures(const telemetry::TFrameTable& table, TFrameRange selection,
                                   const TFrameTimes* times) {
    TSelectionFigures figures;
    figures.Frames = selection.Within({0, table.Rows()});
    if (figures.Frames.Empty()) {
        figures.Frames = {0, 0};
        return figures;
    }
    THistograms h;
    table.ForEachRun(figures.Frames.First, figures.Frames.End, [&](const telemetry::TFrameRun& r) {
        for (std::size_t i = 0; i < r.Count; ++i) {
            ++h.Period[r.Period(i)];
            ++h.Bytes[0][r.Map(i)];
            ++h.Bytes[1][r.CurveNumber(i)];
            ++h.Bytes[2][r.Temperature(i)];
            ++h.Bytes[3][r.OctaneCorrector(i)];
            ++h.Bytes[4][r.AdvanceCode(i)];
        }
    });
    for (std::size_t q = 0; q < FieldQuantities.size(); ++q)
        figures.Quantities[q] = FiguresOf(FieldQuantities[q], h.Of(FieldQuantities[q]));
    if (times != nullptr) {
        const auto first = times->FrameTime(figures.Frames.First);
        const auto last = times->FrameTime(figures.Frames.End - 1);
        if (first && last) {
            figures.Seconds = last->Seconds - first->Seconds;
            figures.Measured = first->Measured && last->Measured;
        }
    }
    return figures;
}

std::string SelectionCsv(const TSelectionFigures& figures) {
    std::string text = "quantity,first_frame,last_frame,frames,seconds,min,max,mean,std,timing\n";
    const bool any = !figures.Frames.Empty();
    const std::string range =
        any ? std::to_string(figures.Frames.First) + ',' + std::to_string(figures.Frames.End - 1)
            : ",";
    const std::string seconds = figures.Seconds ? telemetry::NumberText(*figures.Seconds) : "";
    const std::string timing = !figures.Seconds ? "" : figures.Measured ? "measured" : "estimated";
    for (std::size_t q = 0; q < FieldQuantities.size(); ++q) {
        const TQuantityFigures& f = figures.Quantities[q];
        text += std::string(QuantityName(FieldQuantities[q])) + ',' + range + ',' +
                std::to_string(f.Frames) + ',' + seconds;
        if (f.Frames == 0)
            text += ",,,,";
        else
            for (const double v : {f.Minimum, f.Maximum, f.Mean, f.StandardDeviation})
                text += ',' + telemetry::NumberText(v);
        text += ',' + timing + '\n';
    }
    return text;
}

} // namespace analysis
