#include "ui/window/OpeningProgress.h"

#include "telemetry/FrameTable.h"
#include "telemetry/RecordingView.h"
#include "ui/window/TelemetryChart.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QString>

namespace {

// The bar's steps: fine enough that it moves at every stretch of a long recording.
constexpr int BarSteps = 1000;
// How often the bar says how far the walk is, at the least: the bar itself redraws only
// when it moves by a chunk or its percentage changes, which is rarer in a long open.
constexpr qint64 RefreshMilliseconds = 100;
constexpr std::uint64_t Megabyte = 1'000'000;
// The width of the bar over the right end of the status line.
constexpr int BarWidth = 300;

// What the user does with the mouse, the keys, the pen, a finger or a drag.
bool IsInput(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::ToolTip:
    case QEvent::WhatsThis:
    case QEvent::InputMethod:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
        return true;
    default:
        return false;
    }
}

} // namespace

TOpeningProgress::TOpeningProgress(QLabel& statusLine, std::chrono::milliseconds showAfter)
    : statusLine_(statusLine), showAfter_(showAfter) {
    running_.start();
    qApp->installEventFilter(this);
}

TOpeningProgress::~TOpeningProgress() {
    qApp->removeEventFilter(this);
    if (bar_) {
        delete bar_;
        QApplication::restoreOverrideCursor();
    }
}

bool TOpeningProgress::Walked(std::uint64_t done, std::uint64_t total) {
    if (!bar_ && running_.elapsed() >= showAfter_.count())
        ShowBar();
    if (bar_ && total > 0) {
        bar_->setValue(static_cast<int>(done * BarSteps / total));
        if (!refreshed_.isValid() || refreshed_.elapsed() >= RefreshMilliseconds) {
            refreshed_.start();
            bar_->setFormat(QString("%p% (%1 из %2 МБ)")
                                .arg(done / Megabyte)
                                .arg((total + Megabyte / 2) / Megabyte));
        }
    }
    QCoreApplication::processEvents();
    return !stopped_;
}

void TOpeningProgress::ShowBar() {
    statusLine_.setText("Чтение записи… Esc — остановить и показать прочитанное");
    bar_ = new QProgressBar(&statusLine_);
    bar_->setRange(0, BarSteps);
    const QRect line = statusLine_.contentsRect();
    bar_->setGeometry(line.right() + 1 - BarWidth, line.top() + 2, BarWidth, line.height() - 4);
    bar_->show();
    QApplication::setOverrideCursor(Qt::BusyCursor);
}

bool TOpeningProgress::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Close && watched == statusLine_.window())
        stopped_ = true; // and the window closes
    if (!IsInput(event->type()))
        return false;
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
        stopped_ = true;
    return true;
}

TChartReplay ReplayOntoChart(const std::string& path, TChartPlot& plot,
                             telemetry::TLatestValues& values, QLabel& statusLine,
                             telemetry::TFrameTable& frames) {
    telemetry::TViewedFile file(path);
    telemetry::TRecordingMapping mapping(file);
    frames.Reserve(static_cast<std::int64_t>(mapping.Size() / telemetry::FrameSize));
    TChartReplay replay;
    replay.Size = mapping.Size();
    telemetry::TRecordingView view(mapping);
    replay.Times = telemetry::ReadRecordingTimes(path, view.Bytes());
    std::uint8_t state = 0;
    values.FrameCounter = 0;
    std::uint64_t decoded = 0;
    {
        TOpeningProgress progress(statusLine);
        try {
            decoded = view.Replay(state, values, plot, &progress, &frames);
        } catch (const telemetry::ERecordingCut& cut) {
            decoded = cut.Decoded();
            replay.End = TViewEnd::CutShort;
        }
    }
    if (replay.End == TViewEnd::Whole && decoded < mapping.Size())
        replay.End = TViewEnd::Cancelled;
    else if (replay.End == TViewEnd::Whole && plot.Full())
        replay.End = TViewEnd::TooLong;
    replay.Read =
        telemetry::FiguresOf(decoded, static_cast<std::uint32_t>(values.FrameCounter), state);
    return replay;
}
