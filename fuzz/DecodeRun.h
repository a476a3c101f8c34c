#pragma once

// What the harnesses compare: one run of the decoder from a zero-filled record, with every
// point it plots (each series' points in order; how they were grouped into hand-overs
// depends on where blocks end), and the check that stops the fuzzer on a difference.

#include "telemetry/Telemetry.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <tuple>
#include <vector>

namespace fuzz {

struct TPoint {
    double X, Y;
    std::uint32_t Colour;
    bool operator==(const TPoint&) const = default;
};

class TRecordingPlot final : public telemetry::TFramePlot {
public:
    void AddPoints(int series, double firstX, std::span<const double> ys,
                   std::uint32_t colour) override {
        for (std::size_t i = 0; i < ys.size(); ++i)
            Points[series].push_back({firstX + static_cast<double>(i), ys[i], colour});
    }
    [[nodiscard]] bool Empty() const {
        for (const auto& points : Points)
            if (!points.empty())
                return false;
        return true;
    }
    std::array<std::vector<TPoint>, telemetry::PlotSeriesCount> Points;
};

// The live modes keep their decoder state in the record, a replay keeps its own.
struct TDecodeRun {
    explicit TDecodeRun(telemetry::DecodeMode mode) : Mode(mode) {}

    std::uint8_t& State() {
        return Mode == telemetry::DecodeMode::Replay ? ReplayState : Values.LiveState;
    }
    void Byte(std::uint8_t byte) { telemetry::DecodeByte(byte, Mode, State(), Values, &Plot); }
    void Block(std::span<const std::uint8_t> bytes) {
        telemetry::DecodeBlock(bytes, Mode, State(), Values, &Plot);
    }

    telemetry::DecodeMode Mode;
    telemetry::TLatestValues Values;
    std::uint8_t ReplayState = 0;
    TRecordingPlot Plot;
};

inline const char* ModeName(telemetry::DecodeMode mode) {
    switch (mode) {
    case telemetry::DecodeMode::LivePlotting:
        return "live plotting";
    case telemetry::DecodeMode::LiveRecordingOnly:
        return "live recording only";
    case telemetry::DecodeMode::Replay:
        return "replay";
    }
    return "unknown mode";
}

// A finding: libFuzzer saves the input that led here.
inline void Require(bool holds, telemetry::DecodeMode mode, const char* rule) {
    if (holds)
        return;
    std::fprintf(stderr, "%s: %s\n", ModeName(mode), rule);
    std::abort();
}

inline void RequireSame(TDecodeRun& expected, TDecodeRun& actual) {
    const telemetry::TLatestValues& e = expected.Values;
    const telemetry::TLatestValues& a = actual.Values;
    const telemetry::DecodeMode mode = expected.Mode;
    Require(expected.State() == actual.State(), mode, "the decoder state differs");
    Require(e.FrameCounter == a.FrameCounter, mode, "the frame counter differs");
    Require(std::tie(e.Period, e.PeriodHigh, e.Map, e.CurveNumber, e.Temperature, e.OctaneCorrector,
                     e.AdvanceCode, e.LiveState) ==
                std::tie(a.Period, a.PeriodHigh, a.Map, a.CurveNumber, a.Temperature,
                         a.OctaneCorrector, a.AdvanceCode, a.LiveState),
            mode, "the latest values differ");
    Require(expected.Plot.Points == actual.Plot.Points, mode, "the plotted points differ");
}

} // namespace fuzz
