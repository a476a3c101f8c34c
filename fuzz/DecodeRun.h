#pragma once

// What the harnesses compare: one run of the decoder from a zero-filled record, with every
// point it plots (each series' points in order; how they were grouped into hand-overs
// depends on where blocks end) and the frame table it fills, and the check that stops the
// fuzzer on a difference.

#include "telemetry/FrameTable.h"
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
    void Byte(std::uint8_t byte) {
        telemetry::DecodeByte(byte, Mode, State(), Values, &Plot, &Frames);
    }
    void Block(std::span<const std::uint8_t> bytes) {
        telemetry::DecodeBlock(bytes, Mode, State(), Values, &Plot, &Frames);
    }

    telemetry::DecodeMode Mode;
    telemetry::TLatestValues Values;
    std::uint8_t ReplayState = 0;
    TRecordingPlot Plot;
    telemetry::TFrameTable Frames;
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
    const telemetry::TFrameTable& ef = expected.Frames;
    const telemetry::TFrameTable& af = actual.Frames;
    Require(ef.Rows() == af.Rows() && ef.Bytes() == af.Bytes(), mode, "the frame tables differ");
    for (std::int64_t k = 0; k < ef.Rows(); ++k)
        Require(ef.Frame(k) == af.Frame(k) && ef.EndOffset(k) == af.EndOffset(k), mode,
                "a frame of the tables differs");
    Require(ef.Unfinished().Fields == af.Unfinished().Fields &&
                ef.Unfinished().Arrived == af.Unfinished().Arrived,
            mode, "the unfinished frames differ");
}

// Each row of the run's table stands in the stream where its end says, as a sync pair and its
// fields, and the frames end where the table says they do.
inline void RequireFramesInStream(TDecodeRun& run, std::span<const std::uint8_t> stream) {
    const telemetry::TFrameTable& frames = run.Frames;
    const telemetry::DecodeMode mode = run.Mode;
    Require(frames.Bytes() == stream.size(), mode, "the table counts other bytes");
    Require(mode == telemetry::DecodeMode::LiveRecordingOnly ||
                frames.Rows() == run.Values.FrameCounter,
            mode, "the table holds other frames than the counter counts");
    std::uint64_t previousEnd = 0;
    for (std::int64_t k = 0; k < frames.Rows(); ++k) {
        const std::uint64_t end = frames.EndOffset(k);
        Require(end >= previousEnd + telemetry::FrameSize && end <= stream.size(), mode,
                "a frame's end lies outside the stream or within the frame before");
        const std::uint8_t* b = stream.data() + end - telemetry::FrameSize;
        const auto f = *frames.Frame(k);
        Require(b[0] == 0xFF && b[1] == 0xFF && f.Period == (b[2] << 8 | b[3]) && f.Map == b[4] &&
                    f.CurveNumber == b[5] && f.Temperature == b[6] && f.OctaneCorrector == b[7] &&
                    f.AdvanceCode == b[8],
                mode, "a frame's bytes are not where its end says");
        Require(frames.RowsEndingBy(end) == k + 1 && frames.RowsEndingBy(end - 1) == k, mode,
                "the rows ending by an offset disagree with the ends");
        previousEnd = end;
    }
}

} // namespace fuzz
