#pragma once

// The chart page's chart: its configuration with the nine series, and the link through
// which the decoder puts telemetry points on series 0 to 5.

#include "Chart.h"
#include "Telemetry.h"

#include <QImage>
#include <QSize>

#include <cstdint>
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

class TChartPlot final : public telemetry::TFramePlot {
public:
    explicit TChartPlot(TChart& chart);
    void AddPoints(int series, double firstX, std::span<const double> ys,
                   std::uint32_t colour) override;

private:
    TChartSeries* series_[telemetry::PlotSeriesCount];
};
