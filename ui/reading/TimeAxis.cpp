#include "ui/reading/TimeAxis.h"

#include "ui/shell/Settings.h"
#include "ui/window/TelemetryChart.h"

#include <QAction>
#include <QWidget>

TTimeAxis::TTimeAxis(QWidget& window, TChart& chart)
    : QObject(&window), chart_(chart), chartAlive_(&chart),
      timeline_(std::make_shared<chart::TTimeline>(true)), gaps_(timeline_),
      labels_(std::make_shared<chart::TTimeLabels>(timeline_)) {
    Switch = new QAction("Ось времени", this);
    Switch->setCheckable(true);
    Switch->setShortcut(QKeySequence("Ctrl+T"));
    Switch->setShortcutContext(Qt::WindowShortcut);
    window.addAction(Switch);
    connect(Switch, &QAction::toggled, this, &TTimeAxis::Show);
}

TTimeAxis::~TTimeAxis() {
    if (chartAlive_)
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

namespace {

// Where each frame of a run ends, from the ends of its first and last frames: frames 9 bytes
// apart while the decoder skipped nothing between them, so only a stretch with skipped bytes
// in it is halved and asked of the table again (a pass over its chunk each time). A chunk
// with more such stretches than the budget (a line full of noise) has the ends inside the
// stretches left spread evenly between their known ends, off by less than the bytes skipped
// in each.
class TFrameEnds {
public:
    explicit TFrameEnds(const telemetry::TFrameTable& frames) : frames_(frames) {}

    // Calls take(frame, end) for frames first to last, in order.
    template <typename Take> void Walk(std::int64_t first, std::int64_t last, Take&& take) {
        budget_ = Budget;
        Split(first, frames_.EndOffset(first), last, frames_.EndOffset(last), take);
    }

private:
    static constexpr int Budget = 64;

    template <typename Take>
    void Split(std::int64_t first, std::uint64_t firstEnd, std::int64_t last, std::uint64_t lastEnd,
               Take& take) {
        const auto frames = static_cast<std::uint64_t>(last - first);
        const std::uint64_t skipped = lastEnd - firstEnd - frames * telemetry::FrameSize;
        if (skipped != 0 && frames > 1 && budget_ > 0) {
            --budget_;
            const std::int64_t middle = first + (last - first) / 2;
            const std::uint64_t middleEnd = frames_.EndOffset(middle);
            Split(first, firstEnd, middle, middleEnd, take);
            Split(middle + 1, frames_.EndOffset(middle + 1), last, lastEnd, take);
            return;
        }
        for (std::uint64_t i = 0; i <= frames; ++i)
            take(first + static_cast<std::int64_t>(i),
                 firstEnd + i * telemetry::FrameSize + (frames ? skipped * i / frames : 0));
    }

    const telemetry::TFrameTable& frames_;
    int budget_ = 0;
};

} // namespace

void TTimeAxis::Measure(const telemetry::TRecordingTimes& times,
                        const telemetry::TFrameTable& frames) {
    *timeline_ =
        chart::TTimeline(!times.Used() || times.State() == telemetry::TCompanionState::Untimed);
    recording_ = times;
    frames_ = &frames;
    telemetry::TTimeCursor cursor(*recording_);
    TFrameEnds ends(frames);
    frames.ForEachRun(0, frames.Rows(), [&](const telemetry::TFrameRun& run) {
        ends.Walk(run.First, run.First + static_cast<std::int64_t>(run.Count) - 1,
                  [&](std::int64_t frame, std::uint64_t end) {
                      timeline_->Add(static_cast<double>(frame), cursor.At(end).Seconds);
                  });
    });
    chart_.PropertiesChanged();
}

void TTimeAxis::StartClock() {
    recording_.reset();
    frames_ = nullptr;
    *timeline_ = chart::TTimeline(false);
    clock_.start();
    chart_.PropertiesChanged();
}

void TTimeAxis::FramesArrived(std::int64_t last) {
    if (clock_.isValid())
        timeline_->Add(static_cast<double>(last), static_cast<double>(clock_.nsecsElapsed()) / 1e9);
}

double TTimeAxis::Seconds(std::int64_t frame) const {
    if (recording_ && frame >= 0 && frame < frames_->Rows())
        return recording_->At(frames_->EndOffset(frame)).Seconds;
    return timeline_->Seconds(static_cast<double>(frame));
}

QString TTimeAxis::FrameTime(std::int64_t frame) const {
    const auto shown = PlottedFrames(chart_);
    const bool hours = shown && timeline_->Seconds(static_cast<double>(shown->Last)) >= 3600;
    const QString text = QString::fromStdString(chart::FrameTimeText(Seconds(frame), hours));
    return timeline_->Estimated() ? QStringLiteral("≈") + text : text;
}
