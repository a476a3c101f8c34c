#include "ui/reading/ComparedRecording.h"

#include "telemetry/RecordingView.h"
#include "ui/reading/ChartExport.h"
#include "ui/reading/ChartReadout.h"
#include "ui/reading/ChosenFrame.h"
#include "ui/reading/CompareShift.h"
#include "ui/shell/Application.h"
#include "ui/window/OpeningProgress.h"
#include "ui/window/TelemetryChart.h"
#include "widgets/chart/ChartCursor.h"

#include <QAction>
#include <QCursor>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>

#include <stdexcept>

namespace {

// Over the chart's bottom strip, right of the series switches.
const QRect StripPlace(680, 448, 316, 17);

QString Signed(std::int64_t n) {
    return (n > 0 ? "+" : "") + QString::number(n);
}

} // namespace

QString ComparedStripText(const QString& fileName, std::int64_t shift) {
    const double seconds = static_cast<double>(shift) / TChosenFrame::FramesPerSecond;
    QString time = QString::number(seconds, 'f', 2).replace('.', ',');
    if (shift > 0)
        time.prepend('+');
    return "Сравнение: " + fileName + " | сдвиг кадров: " + Signed(shift) + " (" + time + " с)";
}

TComparedRecording::TComparedRecording(QWidget& window, TChart& chart, QMenu& menu,
                                       TChartReadout& readout, TChosenFrame& chosen,
                                       TChartExport& exporter, QLabel& statusLine,
                                       TFileDialogs& dialogs)
    : QObject(&window), window_(window), chart_(chart), dialogs_(dialogs), readout_(readout),
      chosen_(chosen), exporter_(exporter), statusLine_(statusLine) {
    Compare = new QAction("Сравнить с записью…", this);
    Compare->setShortcut(QKeySequence("Ctrl+Shift+O"));
    Compare->setShortcutContext(Qt::WindowShortcut);
    window.addAction(Compare);
    Close = new QAction("Закрыть запись для сравнения", this);
    Align = new QAction("Совместить с выбранным кадром", this);
    ResetShift = new QAction("Сбросить сдвиг записи для сравнения", this);
    menu.addSeparator();
    for (QAction* action : {Compare, Align, ResetShift, Close})
        menu.addAction(action);
    connect(Compare, &QAction::triggered, this, &TComparedRecording::CompareClick);
    connect(Close, &QAction::triggered, this, &TComparedRecording::CloseCompared);
    connect(ResetShift, &QAction::triggered, this, [this] { SetShift(0); });
    connect(Align, &QAction::triggered, this, [this] {
        if (menuFrameB_)
            AlignChosenFrameWith(*menuFrameB_);
    });
    // The menu says what it can do where it was asked for: aligning needs A's chosen frame
    // and a frame of B under the pointer.
    connect(&menu, &QMenu::aboutToShow, this, [this] {
        menuFrameB_.reset();
        const QPoint at = chart_.mapFromGlobal(QCursor::pos());
        if (IsOpen() && chart_.rect().contains(at))
            menuFrameB_ = FrameOfBAt(at);
        Align->setEnabled(menuFrameB_ && chosen_.Frame());
    });

    Strip = new QLabel(&chart);
    Strip->setObjectName("lblCompared");
    Strip->setGeometry(StripPlace);
    Strip->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Strip->setToolTip("Alt и левая кнопка мыши сдвигают запись для сравнения вдоль графика");
    chart.installEventFilter(this);
    Dialog.Filter = "Файл сбора данных работы системы *.dcc|*.dcc|";
    Dialog.Options = ofHideReadOnly | ofEnableSizing;
    Dialog.Name = "compare";
    Show();
}

void TComparedRecording::CompareClick() {
    ShowFailures([this] {
        if (dialogs_.Execute(Dialog, &window_))
            Open(Dialog.FileName);
    });
}

std::optional<TComparedOnChart> TComparedRecording::Where() const {
    if (!firstSeries_)
        return std::nullopt;
    return TComparedOnChart{&frames_, analysis::TAlignment{shift_}};
}

void TComparedRecording::Open(const QString& chosen) {
    const QString absolute = QFileInfo(chosen).absoluteFilePath();
    if (!recorded_.isEmpty() && QFileInfo(recorded_).absoluteFilePath() == absolute)
        throw std::runtime_error(ComparedBeingRecorded);
    const std::string path = absolute.toStdString();
    if (!telemetry::RecordingExists(path))
        throw std::runtime_error(std::string(telemetry::RecordingOpenError));
    CloseCompared();
    const int first = chart_.SeriesCount();
    for (int s = 0; s < telemetry::PlotSeriesCount; ++s) {
        auto& series = chart_.AddSeriesBelow<TLineSeries>();
        const auto& a = static_cast<const TLineSeries&>(chart_.Series(s));
        series.SeriesColor = ComparedColour(a.SeriesColor);
        series.ShowInLegend = false;
        series.LinePen.PenStyle = TChartPen::Style::psDash;
        series.SetActive(a.Active());
    }
    firstSeries_ = first;
    fileName_ = QFileInfo(absolute).fileName();
    shift_ = 0;
    TChartReplay replay;
    const QString status = statusLine_.text();
    try {
        TChartPlot plot(chart_, first, ComparedColour);
        // B's decoder keeps its latest values to itself: the gauges go on showing A.
        telemetry::TLatestValues values;
        replay = ReplayOntoChart(path, plot, values, statusLine_, frames_);
    } catch (...) {
        CloseCompared();
        throw;
    }
    statusLine_.setText(status);
    if (replay.End == TViewEnd::Cancelled) {
        CloseCompared();
        return;
    }
    Show();
    if (replay.End == TViewEnd::CutShort)
        throw std::runtime_error(telemetry::RecordingViewError);
    if (replay.End == TViewEnd::TooLong) {
        const auto onChart =
            std::min(replay.Read.Frames, static_cast<std::uint64_t>(ChartFrameLimit()));
        throw std::runtime_error(ChartTooShortText(onChart, replay.Read.Frames).toStdString());
    }
}

void TComparedRecording::CloseCompared() {
    if (!firstSeries_)
        return;
    // B's series are the last on the chart's list.
    for (int s = telemetry::PlotSeriesCount - 1; s >= 0; --s)
        chart_.DeleteSeries(chart_.Series(*firstSeries_ + s));
    firstSeries_.reset();
    frames_.Clear();
    drag_.reset();
    shift_ = 0;
    Show();
}

void TComparedRecording::SetShift(std::int64_t shift) {
    if (!firstSeries_ || shift == shift_)
        return;
    shift_ = shift;
    for (int s = 0; s < telemetry::PlotSeriesCount; ++s)
        chart_.Series(*firstSeries_ + s).SetXShift(static_cast<double>(shift));
    Show();
}

void TComparedRecording::AlignChosenFrameWith(std::int64_t frameB) {
    if (const auto frameA = chosen_.Frame())
        SetShift(analysis::TAlignment::Aligning(*frameA, frameB).Shift);
}

void TComparedRecording::SwitchSeries(int series, bool active) {
    if (firstSeries_)
        chart_.Series(*firstSeries_ + series).SetActive(active);
}

void TComparedRecording::Show() {
    const bool open = IsOpen();
    Strip->setVisible(open);
    if (open)
        Strip->setText(ComparedStripText(fileName_, shift_));
    Close->setEnabled(open);
    ResetShift->setEnabled(open);
    Align->setEnabled(open && chosen_.Frame());
    readout_.SetCompared(Where());
    exporter_.SetCompared(Where());
    emit Changed();
}

std::optional<std::int64_t> TComparedRecording::FrameOfBAt(QPoint p) const {
    if (!firstSeries_ || !chart_.PlotRect().Contains(p.x(), p.y()))
        return std::nullopt;
    const auto frames = CompletedFrames(frames_);
    if (!frames)
        return std::nullopt;
    const analysis::TAlignment alignment{shift_};
    const compare::TFrames onA = compare::OnA({frames->First, frames->Last}, alignment);
    const std::int64_t at =
        chart::NearestWholeX(chart_.BottomAxis().Map(), p.x(), onA.First, onA.Last);
    return alignment.FrameOfB(at, FramesOnChart(frames_));
}

// Alt with the left button drags B along the chart instead of zooming or choosing a frame.
bool TComparedRecording::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &chart_ || !IsOpen())
        return false;
    const auto type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
        type != QEvent::MouseButtonRelease)
        return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const chart::TAxisMap& map = chart_.BottomAxis().Map();
    const double at = map.ToValue(mouse->position().x());
    if (type == QEvent::MouseButtonPress) {
        if (mouse->button() != Qt::LeftButton || !(mouse->modifiers() & Qt::AltModifier))
            return false;
        const QPoint p = mouse->position().toPoint();
        if (!chart_.PlotRect().Contains(p.x(), p.y()))
            return false;
        drag_ = TDrag{at, shift_};
        chart_.setCursor(Qt::SizeHorCursor);
        return true;
    }
    if (!drag_)
        return false;
    SetShift(compare::DraggedShift(drag_->Shift, drag_->From, at));
    if (type == QEvent::MouseButtonRelease && mouse->button() == Qt::LeftButton) {
        drag_.reset();
        chart_.unsetCursor();
    }
    return true;
}
