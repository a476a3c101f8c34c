#include "ui/reading/TimeAxis.h"

#include "ui/shell/Settings.h"
#include "ui/window/TelemetryChart.h"

#include <QAction>
#include <QFile>
#include <QWidget>

#include <span>
#include <vector>

TTimeAxis::TTimeAxis(QWidget& window, TChart& chart)
    : QObject(&window), chart_(chart), timeline_(std::make_shared<chart::TTimeline>(true)),
      gaps_(timeline_), labels_(std::make_shared<chart::TTimeLabels>(timeline_)) {
    Switch = new QAction("Ось времени", this);
    Switch->setCheckable(true);
    Switch->setShortcut(QKeySequence("Ctrl+T"));
    Switch->setShortcutContext(Qt::WindowShortcut);
    window.addAction(Switch);
    connect(Switch, &QAction::toggled, this, &TTimeAxis::Show);
}

TTimeAxis::~TTimeAxis() {
    chart_.RemoveDecoration(gaps_);
}

void TTimeAxis::RememberIn(TSettings& settings) {
    Switch->setChecked(settings.TimeAxis());
    settings_ = &settings;
}

bool TTimeAxis::Shown() const {
    return Switch->isChecked();
}

void TTimeAxis::Show(bool time) {
    if (time) {
        chart_.BottomAxis().SetLabelEngine(labels_);
        chart_.AddDecoration(gaps_);
    } else {
        chart_.BottomAxis().SetLabelEngine(nullptr);
        chart_.RemoveDecoration(gaps_);
    }
    if (settings_)
        settings_->SetTimeAxis(time);
}

telemetry::TRecordingTimes RecordingTimesOf(const QString& path) {
    telemetry::TCompanionCheck check(telemetry::ReadCompanionFile(path.toStdString()));
    if (check.NeedsRecording()) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            std::vector<std::uint8_t> chunk(std::size_t{1} << 20);
            for (qint64 n; (n = file.read(reinterpret_cast<char*>(chunk.data()),
                                          static_cast<qint64>(chunk.size()))) > 0;)
                check.Feed(std::span(chunk.data(), static_cast<std::size_t>(n)));
        }
    }
    return check.Finish();
}

void TTimeAxis::Measure(const telemetry::TRecordingTimes& times, std::int64_t last) {
    *timeline_ =
        chart::TTimeline(!times.Used() || times.State() == telemetry::TCompanionState::Untimed);
    recording_ = times;
    telemetry::TTimeCursor cursor(*recording_);
    for (std::int64_t frame = 0; frame <= last; ++frame)
        timeline_->Add(static_cast<double>(frame),
                       cursor.At(static_cast<std::uint64_t>(frame + 1) * 9).Seconds);
    chart_.PropertiesChanged();
}

void TTimeAxis::StartClock() {
    recording_.reset();
    *timeline_ = chart::TTimeline(false);
    clock_.start();
    chart_.PropertiesChanged();
}

void TTimeAxis::FramesArrived(std::int64_t last) {
    if (clock_.isValid())
        timeline_->Add(static_cast<double>(last), static_cast<double>(clock_.nsecsElapsed()) / 1e9);
}

double TTimeAxis::Seconds(std::int64_t frame) const {
    if (recording_)
        return recording_->At(static_cast<std::uint64_t>(frame + 1) * 9).Seconds;
    return timeline_->Seconds(static_cast<double>(frame));
}

QString TTimeAxis::FrameTime(std::int64_t frame) const {
    const auto shown = PlottedFrames(chart_);
    const bool hours = shown && timeline_->Seconds(static_cast<double>(shown->Last)) >= 3600;
    const QString text = QString::fromStdString(chart::FrameTimeText(Seconds(frame), hours));
    return timeline_->Estimated() ? QStringLiteral("≈") + text : text;
}
