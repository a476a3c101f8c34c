#pragma once

// The chart page's chart: its configuration with the nine series, the link through which the
// decoder puts telemetry points on series 0 to 5, and what the page reads of the frames it
// shows: from the recording's frame table, never back off the series.

#include "telemetry/FrameTable.h"
#include "telemetry/Telemetry.h"
#include "widgets/chart/Chart.h"

#include <QImage>
#include <QSize>

#include <cstdint>
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

// Frame k's points stand at X = k on series 0 to 5, and frame k is row k of the frame table
// filled with them.
struct TFrameSpan {
    std::int64_t First;
    std::int64_t Last;
};
// The first and the last frame any of series 0 to 5 has a point for; none on an empty chart.
[[nodiscard]] std::optional<TFrameSpan> PlottedFrames(const TChart& chart);
// How many completed frames the chart has a place for, from frame 0 on.
[[nodiscard]] std::int64_t FramesOnChart(const telemetry::TFrameTable& frames);
// The completed frames the chart has a place for; none in an empty table.
[[nodiscard]] std::optional<TFrameSpan> CompletedFrames(const telemetry::TFrameTable& frames);
// The quantity series plots at frame, in the quantity's own unit (telemetry::Quantity): of a
// completed frame, or of the frame the table's bytes end inside of where that field has
// arrived; none where the series has no point (a period of 0 has no speed).
[[nodiscard]] std::optional<double> QuantityAt(const telemetry::TFrameTable& frames, int series,
                                               std::int64_t frame);

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
    // Called with the last frame each run of advance points completes (the advance ends a
    // frame), after the points are on the chart.
    std::function<void(std::int64_t last)> OnFramesCompleted;
    // Points were left out for want of room.
    [[nodiscard]] bool Full() const noexcept { return full_; }

private:
    TChartSeries* series_[telemetry::PlotSeriesCount];
    TTint tint_;
    bool full_ = false;
};
