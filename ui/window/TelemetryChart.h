#pragma once

// The chart page's chart: its configuration with the nine series, and the link through
// which the decoder puts telemetry points on series 0 to 5.

#include "telemetry/DecodedFrame.h"
#include "telemetry/Telemetry.h"
#include "widgets/chart/Chart.h"

#include <QImage>
#include <QSize>

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

// Reading the telemetry back off series 0 to 5, where frame k's points stand at X = k.
// The quantity series plots at frame: the speed in revolutions per minute, curve number,
// MAP, temperature and octane corrector as decoded, the advance in degrees; none where the
// series has no point there (a period of 0 has no speed).
[[nodiscard]] std::optional<double> QuantityAt(const TChart& chart, int series, std::int64_t frame);
// The first and the last frame any of series 0 to 5 has a point for; none on an empty chart.
struct TFrameSpan {
    std::int64_t First;
    std::int64_t Last;
};
[[nodiscard]] std::optional<TFrameSpan> PlottedFrames(const TChart& chart);
// The completed frames: those with an advance point, the field a frame ends with.
[[nodiscard]] std::optional<TFrameSpan> CompletedFrames(const TChart& chart);
// A completed frame's fields exactly as decoded (the chart's values read back), with a
// period of 0 where it has no speed point; none for a frame that is not completed.
[[nodiscard]] std::optional<telemetry::TDecodedFrame> FrameOnChart(const TChart& chart,
                                                                   std::int64_t frame);

// Each completed frame from first to last, in order, as FrameOnChart gives it, walking the
// series once.
void ForEachFrameOnChart(const TChart& chart, std::int64_t first, std::int64_t last,
                         const std::function<void(const telemetry::TDecodedFrame&)>& take);

// The frames the chart takes: a series holds at most this many points, at X = 0, 1, ...
[[nodiscard]] std::int64_t ChartFrameLimit();

// Puts the decoder's points on series 0 to 5, those of frames up to ChartFrameLimit(); the
// points of later frames are left out, so that a recording too long for the chart fills it
// and the decoder goes on.
class TChartPlot final : public telemetry::TFramePlot {
public:
    explicit TChartPlot(TChart& chart);
    void AddPoints(int series, double firstX, std::span<const double> ys,
                   std::uint32_t colour) override;
    // Points were left out for want of room.
    [[nodiscard]] bool Full() const noexcept { return full_; }

private:
    TChartSeries* series_[telemetry::PlotSeriesCount];
    bool full_ = false;
};
