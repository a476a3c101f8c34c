#pragma once

// The controller's telemetry stream: the 9-byte frame, the process-wide record of the
// latest decoded fields, the unit conversions, and the byte-at-a-time frame decoder.
//
// Frame: 0xFF 0xFF, period (16-bit big-endian), MAP, curve number, temperature,
// octane corrector, advance code. A recording (".dcc") is the received stream as is.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace telemetry {

inline constexpr std::size_t FrameSize = 9;
inline constexpr std::uint8_t SyncByte = 0xFF;

// The most recent decoded fields. Fields change one at a time, as their byte arrives.
struct TLatestValues {
    std::int32_t FrameCounter = 0; // X of chart points; frames plotted since the last reset
    std::uint8_t OctaneCorrector = 0;
    std::uint16_t Period = 0;
    std::uint16_t PeriodHigh = 0; // high byte of the period being received, shifted left by 8
    std::uint8_t Map = 0;
    std::uint8_t CurveNumber = 0;
    std::uint8_t AdvanceCode = 0;
    std::uint8_t Temperature = 0;
    std::uint8_t LiveState = 0; // decoder state kept across received blocks
};

// The record the program shares between its live session, its viewer and its gauges.
// Created zero-filled, never freed; touched only on the window thread.
TLatestValues& ProcessLatestValues() noexcept;

// Revolutions per minute. A period of 0 has no speed: callers check for it first.
[[nodiscard]] constexpr double EngineSpeed(std::uint16_t period) noexcept {
    return 27648000.0 / period;
}

// Degrees; (code + 32) * 45 / 256, exact in double precision.
[[nodiscard]] constexpr double AdvanceDegrees(std::uint8_t code) noexcept {
    return code * 0.17578125 + 5.625;
}

// What the chart plots of each field: the speed in revolutions per minute, the byte fields
// times 10, the advance in hundredths of a degree.
[[nodiscard]] constexpr double PlottedByte(std::uint8_t value) noexcept {
    return value * 10.0;
}
[[nodiscard]] constexpr double PlottedAdvance(std::uint8_t code) noexcept {
    return AdvanceDegrees(code) * 100;
}

enum class DecodeMode {
    LivePlotting,      // points go to the chart, the counter is the live session's
    LiveRecordingOnly, // only the latest values follow the stream
    Replay,            // points go to the chart, with the replay's own decoder state
};

// Series positions on the chart, and the colours (0x00BBGGRR) their points carry.
enum PlotSeries : int {
    SeriesSpeed = 0,
    SeriesMap = 1,
    SeriesCurve = 2,
    SeriesTemperature = 3,
    SeriesOctane = 4,
    SeriesAdvance = 5,
    PlotSeriesCount = 6,
};
inline constexpr std::uint32_t PlotColours[PlotSeriesCount] = {
    0x0000FF, 0x008000, 0xFF0000, 0x8F30F0, 0x00FFFF, 0x000000,
};

// Where the plotting modes put their points. The decoder gathers each series' points into
// runs at consecutive frame numbers and hands a run over in one call: the Y values of the
// points at X = firstX, firstX + 1, ... A block of bytes ends every run; a long block, or a
// frame number a series skips (no speed for a period of 0), splits one.
class TFramePlot {
public:
    virtual void AddPoints(int series, double firstX, std::span<const double> ys,
                           std::uint32_t colour) = 0;

protected:
    ~TFramePlot() = default;
};

// The six fields of one frame, as decoded.
struct TFrameFields {
    std::uint16_t Period;
    std::uint8_t Map;
    std::uint8_t CurveNumber;
    std::uint8_t Temperature;
    std::uint8_t OctaneCorrector;
    std::uint8_t AdvanceCode;
    bool operator==(const TFrameFields&) const = default;
};

// A frame's quantity at the position of its series, in the quantity's own unit: the speed in
// revolutions per minute (none for a period of 0), the byte fields as decoded, the advance in
// degrees.
[[nodiscard]] std::optional<double> Quantity(const TFrameFields& frame, int series) noexcept;

// A frame the decoder completed, and one past its last byte, counted from the start of the
// block being decoded.
struct TCompletedFrame {
    TFrameFields Fields;
    std::size_t End;
};

// The frame a block ends inside of: the first Arrived of its period, MAP, curve number,
// temperature and octane corrector (the fields of series 0 to 4) have arrived; the rest are 0.
struct TUnfinishedFrame {
    TFrameFields Fields;
    std::uint8_t Arrived;
};

// Where the decoder reports the frames it completes, in every mode: one rule of what a complete
// frame is (a sync pair and the seven bytes after it) for everything that keeps or lists frames.
// The frames of a block reach the sink after their points have reached the plot, so a plot that
// raises leaves the sink without the frames it did not take.
class TFrameSink {
public:
    // Frames the block being decoded completed, in order; a block's may come in several calls.
    virtual void FramesCompleted(std::span<const TCompletedFrame> frames) = 0;
    // After a block's last frame: every one of its bytes is decoded, and it leaves unfinished.
    virtual void BlockDecoded(std::size_t bytes, const TUnfinishedFrame& unfinished) = 0;

protected:
    ~TFrameSink() = default;
};

// Feeds one byte to the decoder. The live modes pass values.LiveState as the state;
// a replay passes a state of its own that starts at 0. A period of 0 adds no speed point; the
// rest of the frame is decoded and plotted as usual. All six points of frame k are plotted at
// X = k, and the counter advances after the advance point, live and in replay alike. A null
// plot only follows the stream. The frame the byte completes, if any, goes to frames, in every
// mode; the byte is a block of its own there.
void DecodeByte(std::uint8_t byte, DecodeMode mode, std::uint8_t& state, TLatestValues& values,
                TFramePlot* plot, TFrameSink* frames = nullptr);

// DecodeByte over a block, in order, with each series' points handed over in runs. Returns the
// frames the block completed. When the plot raises, the decoder has gone on to where the run was
// handed over: the latest values and the state stand there, and the points of the block not yet
// taken are lost, and so are its frames that frames had not got. Bytes that cannot start a frame
// are passed over at the speed of a memory search.
std::size_t DecodeBlock(std::span<const std::uint8_t> bytes, DecodeMode mode, std::uint8_t& state,
                        TLatestValues& values, TFramePlot* plot, TFrameSink* frames = nullptr);

} // namespace telemetry
