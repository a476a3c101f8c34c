// The 100 ms refresh repaints five gauges: a value change must stay well under a
// millisecond, which holds only while the scale, labels and bevels come from the layers.

#include "widgets/gauge/TILAngularGauge.h"

#include <QImage>
#include <benchmark/benchmark.h>

namespace {

// The engine-speed gauge of the instruments page.
void Configure(gauge::TILAngularGauge& g) {
    g.resize(305, 305);
    g.Glass.Visible.Set(false);
    g.Scale.Position.SetValue(0.95f);
    g.Scale.Precision.NumberDigits.Set(1);
    g.Ranges.Width.SetValue(0.01f);
    g.Center.Bottom.Size.SetValue(0.17f);
    g.Caption.Text.Set(QStringLiteral("Обороты"));
    g.SetMax(6000);
    g.Scale.MajorTicks.Count.Set(7);
    g.Scale.MinorTicks.Count.Set(4);
    g.Scale.MajorTicks.Labels.Position.SetValue(0.73f);
}

void BM_ValueChangePaint(benchmark::State& state) {
    gauge::TILAngularGauge g;
    Configure(g);
    QImage target(g.size(), QImage::Format_ARGB32_Premultiplied);
    g.render(&target);
    double value = 0;
    for (auto _ : state) {
        value = value >= 6000 ? 0 : value + 37;
        g.SetValue(value);
        g.render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
    state.counters["layer_builds"] = g.LayerBuildCount();
}
BENCHMARK(BM_ValueChangePaint)->Unit(benchmark::kMicrosecond);

void BM_LayerRebuildPaint(benchmark::State& state) {
    gauge::TILAngularGauge g;
    Configure(g);
    QImage target(g.size(), QImage::Format_ARGB32_Premultiplied);
    bool idle = false;
    for (auto _ : state) {
        idle = !idle;
        g.SetMax(idle ? 1100 : 6000);
        g.render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_LayerRebuildPaint)->Unit(benchmark::kMicrosecond);

} // namespace
