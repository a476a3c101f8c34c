#include "Telemetry.h"

namespace telemetry {

TLatestValues& ProcessLatestValues() noexcept {
    static TLatestValues values;
    return values;
}

namespace {

inline void Plot(TFramePlot* plot, int series, const TLatestValues& values, double y) {
    if (plot)
        plot->AddPoint(series, static_cast<double>(values.FrameCounter), y, PlotColours[series]);
}

// Inlined into the block loop: a replay runs it for every byte of a recording.
inline void Decode(std::uint8_t byte, DecodeMode mode, std::uint8_t& state, TLatestValues& values,
                   TFramePlot* plot) {
    if (mode == DecodeMode::LiveRecordingOnly)
        plot = nullptr;
    switch (state) {
    case 0:
        state = byte == SyncByte ? 1 : 0;
        return;
    case 1:
        state = byte == SyncByte ? 2 : 0;
        return;
    case 2:
        values.PeriodHigh = static_cast<std::uint16_t>(byte << 8);
        break;
    case 3:
        values.Period = static_cast<std::uint16_t>(values.PeriodHigh + byte);
        if (values.Period != 0)
            Plot(plot, SeriesSpeed, values, EngineSpeed(values.Period));
        break;
    case 4:
        values.Map = byte;
        Plot(plot, SeriesMap, values, values.Map * 10);
        break;
    case 5:
        values.CurveNumber = byte;
        Plot(plot, SeriesCurve, values, values.CurveNumber * 10);
        break;
    case 6:
        values.Temperature = byte;
        Plot(plot, SeriesTemperature, values, values.Temperature * 10);
        break;
    case 7:
        values.OctaneCorrector = byte;
        Plot(plot, SeriesOctane, values, values.OctaneCorrector * 10);
        break;
    case 8:
        values.AdvanceCode = byte;
        if (mode != DecodeMode::LiveRecordingOnly) {
            Plot(plot, SeriesAdvance, values, AdvanceDegrees(values.AdvanceCode) * 100);
            // Wraps rather than overflows past 2^31 frames (a 19 GB recording).
            values.FrameCounter =
                static_cast<std::int32_t>(static_cast<std::uint32_t>(values.FrameCounter) + 1);
        }
        state = 0;
        return;
    default:
        state = 0;
        return;
    }
    ++state;
}

} // namespace

void DecodeByte(std::uint8_t byte, DecodeMode mode, std::uint8_t& state, TLatestValues& values,
                TFramePlot* plot) {
    Decode(byte, mode, state, values, plot);
}

void DecodeBlock(std::span<const std::uint8_t> bytes, DecodeMode mode, std::uint8_t& state,
                 TLatestValues& values, TFramePlot* plot) {
    for (std::uint8_t b : bytes)
        Decode(b, mode, state, values, plot);
}

} // namespace telemetry
