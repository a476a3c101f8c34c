#pragma once

// The chart page's chart: its configuration with the nine series, and the link through
// which the decoder puts telemetry points on series 0 to 5.

#include "telemetry/DecodedFrame.h"
#include "telemetry/Telemetry.h"
#include "widgets/chart/Chart.h"

#include <QImage>
#include <QSize>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

// Sets up an empty chart as the chart page shows it: the panel, margins and axes, and nine
// line series, Series1 to Series9, in the order the decoder addresses them.
void ConfigureTelemetryChart(TChart& chart);

// The chart page's picture of the recording at path, replayed as the viewer replays it
// (locked, mapped and walked; its errors as the viewer raises them). Needs a QApplication
// (the offscreen platform will do); the controls that lie over the chart's bottom strip are
// not part of the picture.
[[nodiscard]] QImage RenderRecordingChart(const std::string& path, QSize size = {1001, 473});

// Reading the telemetry back off series 0 to 5, where frame k's points stand at X = k; or
// off the six series of a second recording that start at firstSeries, its frame k at the
// series' X = k (their shift aside).
// The quantity series plots at frame: the speed in revolutions per minute, curve number,
// MAP, temperature and octane corrector as decoded, the advance in degrees; none where the
// series has no point there (a period of 0 has no speed).
[[nodiscard]] std::optional<double> QuantityAt(const TChart& chart, int series, std::int64_t frame,
                                               int firstSeries = 0);
// The first and the last frame any of the six series has a point for; none when empty.
struct TFrameSpan {
    std::int64_t First;
    std::int64_t Last;
};
[[nodiscard]] std::optional<TFrameSpan> PlottedFrames(const TChart& chart, int firstSeries = 0);
// The completed frames: those with an advance point, the field a frame ends with.
[[nodiscard]] std::optional<TFrameSpan> CompletedFrames(const TChart& chart, int firstSeries = 0);
// A completed frame's fields exactly as decoded (the chart's values read back), with a
// period of 0 where it has no speed point; none for a frame that is not completed.
[[nodiscard]] std::optional<telemetry::TDecodedFrame>
FrameOnChart(const TChart& chart, std::int64_t frame, int firstSeries = 0);

// The completed frames of the six series, asked for in ascending order: each series is
// walked once however many frames are asked for.
class TFrameWalk {
public:
    TFrameWalk(const TChart& chart, std::int64_t first, int firstSeries = 0);
    // The frame as FrameOnChart gives it; frame is at least the one asked for before.
    [[nodiscard]] std::optional<telemetry::TDecodedFrame> At(std::int64_t frame);

private:
    const TChart& chart_;
    int firstSeries_;
    std::array<std::size_t, telemetry::PlotSeriesCount> next_{}; // at or right of the frame
};

// Each completed frame from first to last, in order, as FrameOnChart gives it, walking the
// series once.
void ForEachFrameOnChart(const TChart& chart, std::int64_t first, std::int64_t last,
                         const std::function<void(const telemetry::TDecodedFrame&)>& take);

// The frames the chart takes: a series holds at most this many points, at X = 0, 1, ...
[[nodiscard]] std::int64_t ChartFrameLimit();

// Puts the decoder's points on series 0 to 5 (or the six from firstSeries on), those of
// frames up to ChartFrameLimit(); the points of later frames are left out, so that a
// recording too long for the chart fills it and the decoder goes on. tint, where given,
// turns each point's colour into the one stored.
class TChartPlot final : public telemetry::TFramePlot {
public:
    using TTint = TColor (*)(TColor);
    explicit TChartPlot(TChart& chart, int firstSeries = 0, TTint tint = nullptr);
    void AddPoints(int series, double firstX, std::span<const double> ys,
                   std::uint32_t colour) override;
    // Points were left out for want of room.
    [[nodiscard]] bool Full() const noexcept { return full_; }

private:
    TChartSeries* series_[telemetry::PlotSeriesCount];
    TTint tint_;
    bool full_ = false;
};
