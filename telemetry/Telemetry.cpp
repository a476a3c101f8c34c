#include "telemetry/Telemetry.h"

#include <cstring>
#include <utility>

namespace telemetry {

TLatestValues& ProcessLatestValues() noexcept {
    static TLatestValues values;
    return values;
}

std::optional<double> Quantity(const TFrameFields& frame, int series) noexcept {
    switch (series) {
    case SeriesSpeed:
        return frame.Period != 0 ? std::optional(EngineSpeed(frame.Period)) : std::nullopt;
    case SeriesMap:
        return frame.Map;
    case SeriesCurve:
        return frame.CurveNumber;
    case SeriesTemperature:
        return frame.Temperature;
    case SeriesOctane:
        return frame.OctaneCorrector;
    case SeriesAdvance:
        return AdvanceDegrees(frame.AdvanceCode);
    default:
        return std::nullopt;
    }
}

namespace {

// The points decoded from a block, per series, as runs at consecutive frame numbers until
// they are handed to the plot.
class TPlotBatch {
public:
    static constexpr std::size_t Capacity = 512;

    explicit TPlotBatch(TFramePlot* plot) noexcept : plot_(plot) {}
    TPlotBatch(const TPlotBatch&) = delete;
    TPlotBatch& operator=(const TPlotBatch&) = delete;

    [[nodiscard]] bool Plots() const noexcept { return plot_ != nullptr; }
    // With a plot only.
    void Add(int series, std::int32_t x, double y) {
        if (x != next_[series])
            HandOver(series); // the run breaks
        ys_[series][counts_[series]] = y;
        next_[series] = std::int64_t{x} + 1;
        if (++counts_[series] == Capacity)
            HandOver(series);
    }
    void HandOverAll() {
        for (int series = 0; series < PlotSeriesCount; ++series)
            HandOver(series);
    }

private:
    void HandOver(int series) {
        const std::size_t n = counts_[series];
        counts_[series] = 0; // a plot that raises loses them rather than getting them twice
        if (n > 0)
            plot_->AddPoints(series, static_cast<double>(next_[series] - std::int64_t(n)),
                             {ys_[series], n}, PlotColours[series]);
    }

    TFramePlot* plot_;
    // The X a series' next point needs to join its run; none at first, as no frame counter
    // reaches it.
    std::int64_t next_[PlotSeriesCount] = {NoRun, NoRun, NoRun, NoRun, NoRun, NoRun};
    std::size_t counts_[PlotSeriesCount] = {};
    double ys_[PlotSeriesCount][Capacity];
    static constexpr std::int64_t NoRun = std::int64_t{1} << 40;
};

// The frames completed in a block, until they are handed to the sink. As many as a series' run
// holds: the advance points of a block and its frames fill up together, so each batch of frames
// is handed over right after the plot took their last points.
class TFrameBatch {
public:
    static constexpr std::size_t Capacity = TPlotBatch::Capacity;

    explicit TFrameBatch(TFrameSink* sink) noexcept : sink_(sink) {}
    TFrameBatch(const TFrameBatch&) = delete;
    TFrameBatch& operator=(const TFrameBatch&) = delete;

    [[nodiscard]] bool Takes() const noexcept { return sink_ != nullptr; }
    // With a sink only: the frame values hold now, ending at end.
    void Add(const TLatestValues& values, std::size_t end) {
        frames_[count_++] = {Fields(values), end};
        if (count_ == Capacity)
            HandOver();
    }
    // With a sink only: the block is decoded, bytes long, and leaves the decoder in state.
    void BlockDecoded(std::size_t bytes, std::uint8_t state, const TLatestValues& values) {
        HandOver();
        sink_->BlockDecoded(bytes, Unfinished(state, values));
    }

private:
    static TFrameFields Fields(const TLatestValues& v) noexcept {
        return {v.Period, v.Map, v.CurveNumber, v.Temperature, v.OctaneCorrector, v.AdvanceCode};
    }
    // States 4 to 8 follow the period, MAP, curve number, temperature and octane corrector.
    static TUnfinishedFrame Unfinished(std::uint8_t state, const TLatestValues& v) noexcept {
        const auto arrived = static_cast<std::uint8_t>(state >= 4 && state <= 8 ? state - 3 : 0);
        const TFrameFields all = Fields(v);
        return {{arrived > 0 ? all.Period : std::uint16_t{0},
                 arrived > 1 ? all.Map : std::uint8_t{0},
                 arrived > 2 ? all.CurveNumber : std::uint8_t{0},
                 arrived > 3 ? all.Temperature : std::uint8_t{0},
                 arrived > 4 ? all.OctaneCorrector : std::uint8_t{0}, 0},
                arrived};
    }
    void HandOver() {
        const std::size_t n = count_;
        count_ = 0;
        if (n > 0)
            sink_->FramesCompleted({frames_, n});
    }

    TFrameSink* sink_;
    std::size_t count_ = 0;
    TCompletedFrame frames_[Capacity];
};

inline void Plot(TPlotBatch& batch, int series, const TLatestValues& values, double y) {
    if (batch.Plots())
        batch.Add(series, values.FrameCounter, y);
}

// What the byte taken in state State (2 to 8) stores and plots.
template <int State>
inline void Field(std::uint8_t byte, DecodeMode mode, TLatestValues& values, TPlotBatch& plot) {
    if constexpr (State == 2) {
        values.PeriodHigh = static_cast<std::uint16_t>(byte << 8);
    } else if constexpr (State == 3) {
        values.Period = static_cast<std::uint16_t>(values.PeriodHigh + byte);
        if (values.Period != 0)
            Plot(plot, SeriesSpeed, values, EngineSpeed(values.Period));
    } else if constexpr (State == 4) {
        values.Map = byte;
        Plot(plot, SeriesMap, values, PlottedByte(values.Map));
    } else if constexpr (State == 5) {
        values.CurveNumber = byte;
        Plot(plot, SeriesCurve, values, PlottedByte(values.CurveNumber));
    } else if constexpr (State == 6) {
        values.Temperature = byte;
        Plot(plot, SeriesTemperature, values, PlottedByte(values.Temperature));
    } else if constexpr (State == 7) {
        values.OctaneCorrector = byte;
        Plot(plot, SeriesOctane, values, PlottedByte(values.OctaneCorrector));
    } else {
        static_assert(State == 8);
        values.AdvanceCode = byte;
        if (mode != DecodeMode::LiveRecordingOnly) {
            Plot(plot, SeriesAdvance, values, PlottedAdvance(values.AdvanceCode));
            // Wraps rather than overflows past 2^31 frames (a 19 GB recording).
            values.FrameCounter =
                static_cast<std::int32_t>(static_cast<std::uint32_t>(values.FrameCounter) + 1);
        }
    }
}

// The state is advanced only once the byte's field is stored and plotted, so that a plot
// that raises leaves the state at the byte it failed on.
inline void Decode(std::uint8_t byte, DecodeMode mode, std::uint8_t& state, TLatestValues& values,
                   TPlotBatch& plot) {
    switch (state) {
    case 0:
        state = byte == SyncByte ? 1 : 0;
        return;
    case 1:
        state = byte == SyncByte ? 2 : 0;
        return;
    case 2:
        Field<2>(byte, mode, values, plot);
        break;
    case 3:
        Field<3>(byte, mode, values, plot);
        break;
    case 4:
        Field<4>(byte, mode, values, plot);
        break;
    case 5:
        Field<5>(byte, mode, values, plot);
        break;
    case 6:
        Field<6>(byte, mode, values, plot);
        break;
    case 7:
        Field<7>(byte, mode, values, plot);
        break;
    case 8:
        Field<8>(byte, mode, values, plot);
        state = 0;
        return;
    default:
        state = 0;
        return;
    }
    ++state;
}

// A frame that starts at p in state 0, taken in one go: the same steps as byte by byte,
// without choosing the step for every byte.
template <int... States>
inline void DecodeFrame(const std::uint8_t* p, DecodeMode mode, std::uint8_t& state,
                        TLatestValues& values, TPlotBatch& plot,
                        std::integer_sequence<int, States...>) {
    ((state = States, Field<States>(p[States], mode, values, plot)), ...);
    state = 0;
}

// The plot the points of a mode go to: none when only recording.
TFramePlot* PlotOf(DecodeMode mode, TFramePlot* plot) noexcept {
    return mode == DecodeMode::LiveRecordingOnly ? nullptr : plot;
}

} // namespace

void DecodeByte(std::uint8_t byte, DecodeMode mode, std::uint8_t& state, TLatestValues& values,
                TFramePlot* plot, TFrameSink* frames) {
    TPlotBatch batch(PlotOf(mode, plot));
    TFrameBatch completed(frames);
    const bool completes = state == 8;
    Decode(byte, mode, state, values, batch);
    if (batch.Plots())
        batch.HandOverAll();
    if (completed.Takes()) {
        if (completes)
            completed.Add(values, 1);
        completed.BlockDecoded(1, state, values);
    }
}

std::size_t DecodeBlock(std::span<const std::uint8_t> bytes, DecodeMode mode, std::uint8_t& state,
                        TLatestValues& values, TFramePlot* plot, TFrameSink* frames) {
    TPlotBatch batch(PlotOf(mode, plot));
    TFrameBatch completed(frames);
    std::size_t count = 0;
    const std::uint8_t* const begin = bytes.data();
    const std::uint8_t* p = begin;
    const std::uint8_t* const end = p + bytes.size();
    while (p != end) {
        if (state == 0 && end - p >= static_cast<std::ptrdiff_t>(FrameSize) && p[0] == SyncByte &&
            p[1] == SyncByte) {
            DecodeFrame(p, mode, state, values, batch,
                        std::integer_sequence<int, 2, 3, 4, 5, 6, 7, 8>{});
            p += FrameSize;
        } else if (state == 0 && *p != SyncByte) {
            // The decoder stays in state 0 up to the next sync byte (a damaged or sparse
            // stretch of a recording), changing nothing.
            const void* sync = std::memchr(p, SyncByte, static_cast<std::size_t>(end - p));
            p = sync ? static_cast<const std::uint8_t*>(sync) : end;
            continue;
        } else {
            const bool completes = state == 8;
            Decode(*p++, mode, state, values, batch);
            if (!completes)
                continue;
        }
        ++count;
        if (completed.Takes())
            completed.Add(values, static_cast<std::size_t>(p - begin));
    }
    if (batch.Plots())
        batch.HandOverAll();
    if (completed.Takes())
        completed.BlockDecoded(bytes.size(), state, values);
    return count;
}

} // namespace telemetry
