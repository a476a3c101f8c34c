#include "TelemetryChart.h"

#include "RecordingView.h"

#include <string>

namespace {

struct SeriesSetting {
    TColor colour;
    bool dateTimeX;
};

// Series1 to Series9. Only the first six receive points, each point with its own colour;
// the series colour shows nowhere in this program.
constexpr SeriesSetting TelemetrySeries[] = {
    {0x0000FF, false}, // Series1 clRed: engine speed
    {0x008000, false}, // Series2 clGreen: manifold absolute pressure
    {0x00FFFF, false}, // Series3 clYellow: curve number
    {0xFF0000, false}, // Series4 clBlue: temperature
    {0xFFFFFF, false}, // Series5 clWhite: octane corrector
    {0x808080, false}, // Series6 clGray: ignition advance
    {0xFF00FF, false}, // Series7 clFuchsia: empty, keeps the bottom axis on plain numbers
    {0x808000, true},  // Series8 clTeal: empty
    {0x800000, true},  // Series9 clNavy: empty
};

} // namespace

void ConfigureTelemetryChart(TChart& chart) {
    chart.SetView3D(false);
    chart.SetView3DWalls(false);
    chart.SetTitle({false, QString(), Qt::AlignHCenter});
    chart.SetLegendVisible(false);
    chart.SetMargins({1, 0, 1, 6});
    TChartWall wall = chart.BackWall();
    wall.BrushColor = 0xFFFFFF;
    wall.BrushStyle = TBrushStyle::bsClear;
    chart.SetBackWall(wall);
    chart.SetBevelInner(TBevelCut::bvRaised);
    chart.SetBevelOuter(TBevelCut::bvLowered);
    chart.SetBevelWidth(0);
    chart.BottomAxis().SetDateTimeFormat(QStringLiteral("nn:ss"));

    for (const SeriesSetting& setting : TelemetrySeries) {
        TLineSeries& series = chart.AddSeries();
        series.SeriesColor = setting.colour;
        series.XValues.DateTime = setting.dateTimeX;
    }
    static_cast<TLineSeries&>(chart.Series(0)).ShowInLegend = false;
}

TChartPlot::TChartPlot(TChart& chart) {
    for (int i = 0; i < telemetry::PlotSeriesCount; ++i)
        series_[i] = &chart.Series(i);
}

void TChartPlot::AddPoints(int series, double firstX, std::span<const double> ys,
                           std::uint32_t colour) {
    series_[series]->AddPoints(firstX, 1, ys, colour);
}

QImage RenderRecordingChart(const std::string& path, QSize size) {
    TChart chart;
    ConfigureTelemetryChart(chart);
    {
        const telemetry::TViewedFile file(path);
        const telemetry::TRecordingMapping mapping(file);
        const telemetry::TRecordingView view(mapping);
        TChartPlot plot(chart);
        std::uint8_t state = 0;
        telemetry::TLatestValues values;
        view.Replay(state, values, plot);
    }
    chart.resize(size);
    return chart.Draw();
}
