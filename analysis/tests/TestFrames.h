#pragma once

// Frame tables for the analysis tests: made of given frames, or of a simulated engine run,
// decoded as a replay decodes a recording; and the frames read back one at a time, for the
// plain scans the tests compare with.

#include "analysis/ExpectedCurves.h"
#include "analysis/Quantity.h"
#include "telemetry/DecodedFrame.h"
#include "telemetry/FrameTable.h"
#include "tools/sim/Simulator.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace analysis::test {

inline std::unique_ptr<telemetry::TFrameTable>
DecodedTable(const std::vector<std::uint8_t>& recording) {
    auto table = std::make_unique<telemetry::TFrameTable>();
    telemetry::TLatestValues values;
    std::uint8_t state = 0;
    telemetry::DecodeBlock(recording, telemetry::DecodeMode::Replay, state, values, nullptr,
                           table.get());
    return table;
}

inline std::unique_ptr<telemetry::TFrameTable>
TableOf(const std::vector<telemetry::TFrameFields>& frames) {
    std::vector<std::uint8_t> bytes;
    for (const telemetry::TFrameFields& f : frames) {
        const auto frame = sim::EncodeFrame(
            {f.Period, f.Map, f.CurveNumber, f.Temperature, f.OctaneCorrector, f.AdvanceCode});
        bytes.insert(bytes.end(), frame.begin(), frame.end());
    }
    return DecodedTable(bytes);
}

inline std::unique_ptr<telemetry::TFrameTable> SimulatedTable(std::uint64_t seed,
                                                              std::size_t frames, bool noise) {
    return DecodedTable(sim::GenerateRecording(seed, frames, noise));
}

inline std::vector<telemetry::TDecodedFrame> AllFrames(const telemetry::TFrameTable& table) {
    std::vector<telemetry::TDecodedFrame> frames;
    for (std::int64_t k = 0; k < table.Rows(); ++k)
        frames.push_back(*table.Frame(k));
    return frames;
}

// A quantity of a frame computed here from the frame's fields by the stated rules, the way a
// reader of the README would, for the plain scans.
inline std::optional<double> PlainValue(const telemetry::TDecodedFrame& f, TQuantity q,
                                        const TExpectedCurves* curves = nullptr) {
    switch (q) {
    case TQuantity::Speed:
        return f.Period == 0 ? std::nullopt : std::optional(27648000.0 / f.Period);
    case TQuantity::Map:
        return f.Map;
    case TQuantity::Curve:
        return f.CurveNumber;
    case TQuantity::Temperature:
        return f.Temperature;
    case TQuantity::Octane:
        return f.OctaneCorrector;
    case TQuantity::Advance:
        return f.AdvanceCode * 0.17578125 + 5.625;
    case TQuantity::Deviation:
        if (f.Period == 0 || !curves->Has(f.CurveNumber))
            return std::nullopt;
        return f.AdvanceCode * 0.17578125 + 5.625 -
               Interpolate(curves->Points(f.CurveNumber), 27648000.0 / f.Period);
    case TQuantity::Frame:
        break;
    }
    return static_cast<double>(f.Number);
}

inline bool PlainPasses(const telemetry::TDecodedFrame& f, const TFrameFilter& filter) {
    if (f.Number < filter.Frames.First || f.Number >= filter.Frames.End ||
        !filter.Curves.test(f.CurveNumber))
        return false;
    for (const TQuantityRange& range : filter.Ranges) {
        const auto value = PlainValue(f, range.Quantity);
        if (!value || *value < range.Minimum || *value > range.Maximum)
            return false;
    }
    return true;
}

// The filters the tests run each count under: none, a curve set, a range of a byte quantity, a
// speed range, a stretch of frames, and all of them at once.
inline std::vector<TFrameFilter> SampleFilters(std::int64_t frames) {
    TFrameFilter curves;
    curves.Curves.reset();
    curves.Curves.set(1).set(3).set(255);
    TFrameFilter warm;
    warm.Ranges = {{TQuantity::Temperature, 100}};
    TFrameFilter speed;
    speed.Ranges = {{TQuantity::Speed, 1500, 4500}, {TQuantity::Advance, -1e9, 30}};
    TFrameFilter stretch;
    stretch.Frames = {frames / 3, frames / 3 * 2};
    TFrameFilter all = curves;
    all.Ranges = warm.Ranges;
    all.Ranges.push_back(speed.Ranges[0]);
    all.Frames = {frames / 5, frames};
    return {TFrameFilter{}, curves, warm, speed, stretch, all};
}

} // namespace analysis::test
