#pragma once

// The chart page's chart: its configuration with the nine series, and the link through
// which the decoder puts telemetry points on series 0 to 5.

#include "Chart.h"
#include "Telemetry.h"

#include <QImage>
#include <QSize>

#include <cstdint>
#include <span>

// Sets up an empty chart as the chart page shows it: the panel, margins and axes, and nine
// line series, Series1 to Series9, in the order the decoder addresses them.
void ConfigureTelemetryChart(TChart& chart);

// The chart page's picture of a recording (the raw byte stream of a ".dcc" file), replayed
// from a fresh decoder state. Needs a QApplication (the offscreen platform will do); the
// controls that lie over the chart's bottom strip are not part of the picture.
[[nodiscard]] QImage RenderTelemetryChart(std::span<const std::uint8_t> recording,
                                          QSize size = {1001, 473});

class TChartPlot final : public telemetry::TFramePlot {
public:
    explicit TChartPlot(TChart& chart);
    void AddPoint(int series, double x, double y, std::uint32_t colour) override;

private:
    TChartSeries* series_[telemetry::PlotSeriesCount];
};
