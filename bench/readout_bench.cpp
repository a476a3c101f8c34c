// The chart's readout following the pointer over an hour of replayed frames (2.3 million
// per series): one pointer move is the move event and the repaint it asks for, which
// copies the cached picture under the old and the new cursor and draws cursor and readout.
// And the window's CSV export of that whole hour.

#include "tools/sim/Simulator.h"
#include "ui/reading/ChartExport.h"
#include "ui/reading/ChartReadout.h"
#include "ui/reading/ChartSelection.h"
#include "ui/window/TelemetryChart.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <utility>

namespace {

constexpr int HourOfFrames = 2304000;

// Counts the paints that reach the readout.
class TPaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

void ReplayAnHour(TChart& chart, telemetry::TFrameTable& frames) {
    ConfigureTelemetryChart(chart);
    const auto recording = sim::GenerateRecording(1, HourOfFrames, false);
    TChartPlot plot(chart);
    telemetry::TLatestValues values;
    std::uint8_t replayState = 0;
    telemetry::DecodeBlock(recording, telemetry::DecodeMode::Replay, replayState, values, &plot,
                           &frames);
    chart.resize(1001, 473);
}

void BM_PointerMoveOverAnHour(benchmark::State& state) {
    TChart chart;
    telemetry::TFrameTable frames;
    ReplayAnHour(chart, frames);
    TChartReadout readout(chart, frames,
                          {"Обороты", "ДАД", "Номер кривой", "Температура", "ОК", "УОЗ"});
    chart.show();
    QApplication::processEvents();
    int redraws = 0;
    chart.OnAfterDraw = [&](TChart&) { ++redraws; };
    TPaintCounter counter;
    readout.installEventFilter(&counter);

    const chart::TRectI plot = chart.PlotRect();
    int x = plot.Left + 1;
    for (auto _ : state) {
        x = x + 7 < plot.Right ? x + 7 : plot.Left + 1;
        const QPointF p(x, (plot.Top + plot.Bottom) / 2);
        QMouseEvent move(QEvent::MouseMove, p, chart.mapToGlobal(p), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(&chart, &move);
        QApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    }
    state.counters["paints_per_move"] =
        static_cast<double>(counter.paints) / static_cast<double>(state.iterations());
    state.counters["series_redraws"] = redraws;
}
BENCHMARK(BM_PointerMoveOverAnHour)->Unit(benchmark::kMicrosecond);

// A Shift-drag over the whole plot of an hour: the frames of the span, their figures (one pass
// over the frame table) and the box's text.
void BM_SelectAnHour(benchmark::State& state) {
    TChart chart;
    telemetry::TFrameTable frames;
    ReplayAnHour(chart, frames);
    TSystemFileDialogs dialogs;
    TChartSelection selection(chart, frames, dialogs,
                              {"Обороты", "ДАД", "Номер кривой", "Температура", "ОК", "УОЗ"});
    chart.show();
    QApplication::processEvents();
    const chart::TRectI plot = chart.PlotRect();
    const int middle = (plot.Top + plot.Bottom) / 2;
    for (auto _ : state) {
        for (const auto& [type, x] : {std::pair(QEvent::MouseButtonPress, plot.Left),
                                      std::pair(QEvent::MouseMove, plot.Right - 1),
                                      std::pair(QEvent::MouseButtonRelease, plot.Right - 1)}) {
            const QPointF p(x, middle);
            QMouseEvent event(type, p, chart.mapToGlobal(p), Qt::LeftButton,
                              type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                              Qt::ShiftModifier);
            QApplication::sendEvent(&chart, &event);
        }
    }
    state.counters["frames"] =
        static_cast<double>(selection.Figures()->Frames.End - selection.Figures()->Frames.First);
}
BENCHMARK(BM_SelectAnHour)->Unit(benchmark::kMillisecond);

void BM_ExportAnHourAsCsv(benchmark::State& state) {
    TChart chart;
    telemetry::TFrameTable frames;
    ReplayAnHour(chart, frames);
    // A folder of this run's own, so that runs at the same time keep apart.
    const QTemporaryDir folder(QDir::tempPath() + "/telmira-bench-XXXXXX");
    if (!folder.isValid()) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const QString path = folder.filePath("hour.csv");
    for (auto _ : state)
        WriteVisibleFramesCsv(chart, frames, path);
    state.counters["MB"] = static_cast<double>(QFileInfo(path).size()) / 1e6;
}
BENCHMARK(BM_ExportAnHourAsCsv)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace
