// The "Анализ" page over an hour of frames (2.3 million) and a day (55 million): its first
// drawing after a recording is opened (the axes' ranges, the band's counts and the density of
// every frame), and a redraw after a zoom or a filter change. The day's table is decoded from an
// hour's recording 24 times, as a day of the same run would give.

#include "tools/sim/Simulator.h"
#include "ui/analysis/AnalysisPage.h"
#include "ui/reading/ChartReadout.h"
#include "ui/reading/ChosenFrame.h"
#include "ui/shell/FileDialogs.h"
#include "ui/window/TelemetryChart.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLineEdit>

namespace {

constexpr int HourOfFrames = 2304000;

struct TNoDialogs final : TFileDialogs {
    bool Execute(TFileDialog&, QWidget*) override { return false; }
};

// The page over a table of hours of frames, with curves for the curve numbers the simulator
// uses, at the window's page size.
class TPageOver {
public:
    explicit TPageOver(int hours) {
        const auto recording = sim::GenerateRecording(1, HourOfFrames, false);
        for (int h = 0; h < hours; ++h) {
            telemetry::TLatestValues values;
            std::uint8_t state = 0;
            telemetry::DecodeBlock(recording, telemetry::DecodeMode::Replay, state, values, nullptr,
                                   &frames);
        }
        analysis::TExpectedCurves curves;
        for (int c = 0; c < 4; ++c)
            curves.SetCurve(static_cast<std::uint8_t>(c), {{800, 8}, {2500, 20}, {6000, 32}});
        page.SetCurves(curves);
        page.resize(1011, 479);
        page.show();
        QApplication::processEvents();
    }

    telemetry::TFrameTable frames;
    TChart chart;
    TChartReadout readout{chart, frames, {"1", "2", "3", "4", "5", "6"}};
    TChosenFrame chosen{chart, frames, readout};
    TNoDialogs dialogs;
    TAnalysisPage page{frames, chart, chosen, dialogs};
};

void FirstDrawing(benchmark::State& state, int hours) {
    TPageOver over(hours);
    for (auto _ : state) {
        over.page.RecordingChanged();
        benchmark::DoNotOptimize(over.page.Plot->Draw().constBits());
    }
    state.counters["frames"] = static_cast<double>(over.frames.Rows());
}

void BM_FirstDrawingAnHour(benchmark::State& state) {
    FirstDrawing(state, 1);
}
BENCHMARK(BM_FirstDrawingAnHour)->Unit(benchmark::kMillisecond);

void BM_FirstDrawingADay(benchmark::State& state) {
    FirstDrawing(state, 24);
}
BENCHMARK(BM_FirstDrawingADay)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_RedrawAfterAZoomAnHour(benchmark::State& state) {
    TPageOver over(1);
    over.page.Plot->Draw();
    TChartAxis& x = over.page.Plot->BottomAxis();
    TChartAxis& y = over.page.Plot->LeftAxis();
    bool in = false;
    for (auto _ : state) {
        in = !in;
        x.SetMinMax(in ? 1500 : 500, in ? 4000 : 6500);
        y.SetMinMax(in ? 10 : 5, in ? 30 : 45);
        benchmark::DoNotOptimize(over.page.Plot->Draw().constBits());
    }
}
BENCHMARK(BM_RedrawAfterAZoomAnHour)->Unit(benchmark::kMillisecond);

void BM_RedrawAfterAFilterChangeAnHour(benchmark::State& state) {
    TPageOver over(1);
    over.page.Plot->Draw();
    bool one = false;
    for (auto _ : state) {
        one = !one;
        over.page.edtCurves->setText(one ? "1" : "");
        emit over.page.edtCurves->editingFinished();
        benchmark::DoNotOptimize(over.page.Plot->Draw().constBits());
    }
}
BENCHMARK(BM_RedrawAfterAFilterChangeAnHour)->Unit(benchmark::kMillisecond);

} // namespace
