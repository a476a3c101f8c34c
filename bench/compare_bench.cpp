// A second recording compared with the one on the chart, through the window's own code: two
// one-hour recordings (2,304,000 frames each, made with telmira-sim, different drives).
// Opening A alone against opening B beside A, and the chart's full redraw with one and with
// both. The redraw with both open is also taken with only A's or only B's series switched on,
// which tells what each recording's lines cost from what drawing them together adds.

#include "telemetry/Telemetry.h"
#include "ui/reading/ComparedRecording.h"
#include "ui/shell/FileDialogs.h"
#include "ui/window/UprZagig.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

constexpr int OneHourFrames = 3600 * 640;

// The two recordings, made once per run in a folder of the run's own.
class TRecordings {
public:
    TRecordings() {
        if (!Folder.isValid())
            throw std::runtime_error("no temporary folder: " + Folder.errorString().toStdString());
        Make(A, 1);
        Make(B, 2);
    }
    const QTemporaryDir Folder{QDir::tempPath() + "/telmira-bench-XXXXXX"};
    const QString A = Folder.filePath("a.dcc");
    const QString B = Folder.filePath("b.dcc");

private:
    static void Make(const QString& path, int seed) {
        const std::string command =
            std::string(TELMIRA_BIN_DIR) + "/telmira-sim --out " + path.toStdString() +
            " --frames " + std::to_string(OneHourFrames) + " --seed " + std::to_string(seed);
        if (std::system(command.c_str()) != 0)
            throw std::runtime_error("telmira-sim failed: " + command);
    }
};

struct TNoDialogs final : TFileDialogs {
    bool Execute(TFileDialog&, QWidget*) override { return false; }
};

// The window with A viewed, made on first use and deleted by the application as it goes.
struct TWindow {
    TWindow() { window.OpenRecording(files.A); }
    TRecordings files;
    telemetry::TLatestValues values;
    TNoDialogs dialogs;
    TfrmUprZagig window{values, dialogs};
};

TWindow& Window() {
    static std::unique_ptr<TWindow> made;
    if (!made) {
        made = std::make_unique<TWindow>();
        qAddPostRoutine([] { made.reset(); });
    }
    return *made;
}

void OpenA(benchmark::State& state) {
    TWindow& w = Window();
    w.window.ComparedRecording->CloseCompared();
    for (auto _ : state)
        w.window.OpenRecording(w.files.A);
}

void OpenBBesideA(benchmark::State& state) {
    TWindow& w = Window();
    for (auto _ : state) {
        state.PauseTiming();
        w.window.ComparedRecording->CloseCompared();
        state.ResumeTiming();
        w.window.ComparedRecording->Open(w.files.B);
    }
}

void FullRedraw(benchmark::State& state, bool withB) {
    TWindow& w = Window();
    if (withB && !w.window.ComparedRecording->IsOpen())
        w.window.ComparedRecording->Open(w.files.B);
    if (!withB)
        w.window.ComparedRecording->CloseCompared();
    w.window.ComparedRecording->SetShift(withB ? 12345 : 0);
    TChart& chart = *w.window.Chart1;
    for (auto _ : state)
        benchmark::DoNotOptimize(chart.Draw().constBits());
    state.counters["series"] = chart.SeriesCount();
}

// Both open, the series of one recording switched off.
void FullRedrawOfOneBesideTheOther(benchmark::State& state, bool drawA) {
    TWindow& w = Window();
    TComparedRecording& compared = *w.window.ComparedRecording;
    if (!compared.IsOpen())
        compared.Open(w.files.B);
    compared.SetShift(12345);
    TChart& chart = *w.window.Chart1;
    for (int s = 0; s < telemetry::PlotSeriesCount; ++s) {
        chart.Series(s).SetActive(drawA);
        compared.SwitchSeries(s, !drawA);
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(chart.Draw().constBits());
    for (int s = 0; s < telemetry::PlotSeriesCount; ++s) {
        chart.Series(s).SetActive(true);
        compared.SwitchSeries(s, true);
    }
}

} // namespace

BENCHMARK(OpenA)->Name("Open/A")->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(OpenBBesideA)->Name("Open/BBesideA")->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(FullRedraw, One, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FullRedraw, Both, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FullRedrawOfOneBesideTheOther, BothOnlyAShown, true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FullRedrawOfOneBesideTheOther, BothOnlyBShown, false)
    ->Unit(benchmark::kMillisecond);
