#pragma once

// The chart page's chart: its configuration with the nine series, and the link through
// which the decoder puts telemetry points on series 0 to 5.

#include "Chart.h"
#include "Telemetry.h"

// Sets up an empty chart as the chart page shows it: nine line series, Series1 to
// Series9, in the order the decoder addresses them.
void ConfigureTelemetryChart(TChart& chart);

class TChartPlot final : public telemetry::TFramePlot {
public:
    explicit TChartPlot(TChart& chart);
    void AddPoint(int series, double x, double y, std::uint32_t colour) override;

private:
    TChartSeries* series_[telemetry::PlotSeriesCount];
};
