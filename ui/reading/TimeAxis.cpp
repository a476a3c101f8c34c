#include "ui/reading/TimeAxis.h"

#include "ui/shell/Settings.h"
#include "ui/window/TelemetryChart.h"

#include <QAction>
#include <QWidget>

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

void TTimeAxis::Estimate(std::int64_t last) {
    *timeline_ = chart::TTimeline(true);
    timeline_->Add(0, chart::SecondsPerFrame);
    timeline_->Add(static_cast<double>(std::max<std::int64_t>(last, 1)),
                   static_cast<double>(std::max<std::int64_t>(last, 1) + 1) *
                       chart::SecondsPerFrame);
    chart_.PropertiesChanged();
}

void TTimeAxis::StartClock() {
    *timeline_ = chart::TTimeline(false);
    clock_.start();
    chart_.PropertiesChanged();
}

void TTimeAxis::FramesArrived(std::int64_t last) {
    if (clock_.isValid())
        timeline_->Add(static_cast<double>(last), static_cast<double>(clock_.nsecsElapsed()) / 1e9);
}

QString TTimeAxis::FrameTime(std::int64_t frame) const {
    const auto shown = PlottedFrames(chart_);
    const bool hours = shown && timeline_->Seconds(static_cast<double>(shown->Last)) >= 3600;
    const QString text = QString::fromStdString(
        chart::FrameTimeText(timeline_->Seconds(static_cast<double>(frame)), hours));
    return timeline_->Estimated() ? QStringLiteral("≈") + text : text;
}
