#include "ui/reading/ChartReadout.h"

#include "ui/reading/CompareShift.h"
#include "ui/window/TelemetryChart.h"
#include "widgets/chart/ChartCursor.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr QRgb CursorColour = 0xFF606060;
constexpr QRgb MarkerColour = 0xFF00A0A0;
constexpr int MarkerWidth = 2;
constexpr QRgb BoxColour = 0xFFFFFFF0;
constexpr QRgb BoxFrameColour = 0xFF808080;
constexpr int BoxPadding = 4;

QString ValueText(int series, double value) {
    switch (series) {
    case telemetry::SeriesSpeed:
        return QString::number(std::llround(value)) + " " + QuantityUnit(series);
    case telemetry::SeriesAdvance:
        return QString::number(value, 'f', 2).replace('.', ',') + QuantityUnit(series);
    default:
        return QString::number(value);
    }
}

QString DifferenceText(int series, double difference) {
    return (difference > 0 ? "+" : "") + ValueText(series, difference);
}

// Where the compared recording's lines stand: under the chart's, indented.
const QString ComparedPrefix = QStringLiteral("    сравнение: ");

std::optional<compare::TFrames> Frames(const std::optional<TFrameSpan>& span) {
    if (!span)
        return std::nullopt;
    return compare::TFrames{span->First, span->Last};
}

QString ScaleNote(int series) {
    const int scale = PlotScale(series);
    return scale == 1 ? QString() : " (на графике ×" + QString::number(scale) + ")";
}

// Light colours (yellow points) stand on a dark band so that they read in the light box.
constexpr QRgb DarkBandColour = 0xFF505050;
bool NeedsDarkBand(QRgb rgb) {
    return 299 * qRed(rgb) + 587 * qGreen(rgb) + 114 * qBlue(rgb) > 170000;
}

} // namespace

int PlotScale(int series) noexcept {
    switch (series) {
    case telemetry::SeriesSpeed:
        return 1;
    case telemetry::SeriesAdvance:
        return 100;
    default:
        return 10;
    }
}

QString QuantityUnit(int series) {
    switch (series) {
    case telemetry::SeriesSpeed:
        return "об/мин";
    case telemetry::SeriesAdvance:
        return "°";
    default:
        return {};
    }
}

std::vector<TReadoutLine> ReadoutLines(const TChart& chart, const telemetry::TFrameTable& frames,
                                       std::int64_t frame, const std::array<QString, 6>& captions,
                                       const std::optional<TComparedOnChart>& compared) {
    std::vector<TReadoutLine> lines{{-1, std::nullopt, "Кадр " + QString::number(frame), 0}};
    // The compared recording's frame at this place of the chart, none past either end.
    std::optional<std::int64_t> frameB;
    if (compared) {
        frameB = compared->Alignment.FrameOfB(frame, FramesOnChart(*compared->Frames));
        lines.push_back({-1, std::nullopt,
                         ComparedPrefix + (frameB ? "кадр " + QString::number(*frameB) : "—"),
                         ComparedColour(0), true});
    }
    for (int s = 0; s < telemetry::PlotSeriesCount; ++s) {
        if (!chart.Series(s).Active())
            continue;
        const std::optional<double> value = QuantityAt(frames, s, frame);
        lines.push_back({s, value,
                         captions[s] + ": " + (value ? ValueText(s, *value) : "—") + ScaleNote(s),
                         telemetry::PlotColours[s]});
        if (!compared)
            continue;
        TReadoutLine line{s, std::nullopt, ComparedPrefix,
                          ComparedColour(telemetry::PlotColours[s]), true};
        if (frameB)
            line.Value = QuantityAt(*compared->Frames, s, *frameB);
        line.Text += line.Value ? ValueText(s, *line.Value) : "—";
        if (value && line.Value) {
            line.Difference = *value - *line.Value;
            line.Text += ", разница " + DifferenceText(s, *line.Difference);
        }
        lines.push_back(line);
    }
    return lines;
}

TChartReadout::TChartReadout(TChart& chart, const telemetry::TFrameTable& frames,
                             const std::array<QString, 6>& captions)
    : QWidget(&chart), chart_(chart), frames_(frames), captions_(captions),
      metrics_(ChartDefaultFont()) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(chart.rect());
    lower();
    chart.setMouseTracking(true);
    chart.installEventFilter(this);
}

std::optional<std::int64_t> TChartReadout::CursorFrame() const {
    if (!pointer_ || !chart_.PlotRect().Contains(pointer_->x(), pointer_->y()))
        return std::nullopt;
    std::optional<compare::TFrames> frames = Frames(PlottedFrames(chart_));
    if (compared_)
        if (const auto b = Frames(CompletedFrames(*compared_->Frames)))
            frames = compare::Union(frames, compare::OnA(*b, compared_->Alignment));
    if (!frames)
        return std::nullopt;
    return chart::NearestWholeX(chart_.BottomAxis().Map(), pointer_->x(), frames->First,
                                frames->Last);
}

void TChartReadout::SetCompared(const std::optional<TComparedOnChart>& compared) {
    compared_ = compared;
    Refresh();
}

void TChartReadout::SetMarker(std::optional<std::int64_t> frame) {
    if (frame == marker_)
        return;
    marker_ = frame;
    Refresh();
}

std::optional<int> TChartReadout::FrameColumn(std::int64_t frame) const {
    const int x = chart_.BottomAxis().Map().ToPixel(static_cast<double>(frame));
    const chart::TRectI& plot = chart_.PlotRect();
    if (x < plot.Left || x > plot.Right)
        return std::nullopt;
    return x;
}

// The first and the last frame of an automatic axis stand on the plot's edges: their
// columns are drawn over the frame lines there, wholly inside the plot's outline.
QRect TChartReadout::ColumnRect(int x, int width) const {
    const chart::TRectI& plot = chart_.PlotRect();
    return {std::min(x, plot.Right + 1 - width), plot.Top + 1, width, plot.Height() - 2};
}

std::optional<TChartReadout::TLayout> TChartReadout::Layout() const {
    const auto frame = CursorFrame();
    if (!frame)
        return std::nullopt;
    TLayout layout{
        FrameColumn(*frame), {}, ReadoutLines(chart_, frames_, *frame, captions_, compared_)};
    if (FrameTime)
        layout.Lines.front().Text += "   " + FrameTime(*frame);
    if (MarksAt) {
        std::vector<TReadoutLine> marks = MarksAt(pointer_->x());
        layout.Lines.insert(layout.Lines.begin() + 1, marks.begin(), marks.end());
    }
    int width = 0;
    for (const TReadoutLine& line : layout.Lines)
        width = std::max(width, metrics_.horizontalAdvance(line.Text));
    const QSize box(width + 2 * BoxPadding + 2,
                    static_cast<int>(layout.Lines.size()) * metrics_.height() + 2 * BoxPadding);
    layout.Box =
        chart::PlaceReadout(chart_.PlotRect(), layout.CursorX.value_or(pointer_->x()), box);
    return layout;
}

QRegion TChartReadout::Covered() const {
    QRegion region;
    if (marker_)
        if (const auto x = FrameColumn(*marker_))
            region += ColumnRect(*x, MarkerWidth);
    if (const auto layout = Layout()) {
        if (layout->CursorX)
            region += ColumnRect(*layout->CursorX, 1);
        region += layout->Box;
    }
    return region;
}

void TChartReadout::Refresh() {
    // A stale picture has its repaint of the whole chart on the way, at the chart's own
    // pace, and this widget is painted with it; a paint of our own now would make the chart
    // redraw its series at the pointer's pace.
    if (chart_.ImageStale())
        return;
    update(painted_ + Covered());
}

bool TChartReadout::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &chart_)
        return false;
    switch (event->type()) {
    case QEvent::MouseMove: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        // A drag zooms or scrolls: the readout keeps out of its way until the button is up.
        if (mouse->buttons() != Qt::NoButton)
            pointer_.reset();
        else
            pointer_ = mouse->position().toPoint();
        Refresh();
        break;
    }
    case QEvent::MouseButtonPress:
        pointer_.reset();
        Refresh();
        break;
    case QEvent::MouseButtonRelease:
        pointer_ = static_cast<QMouseEvent*>(event)->position().toPoint();
        Refresh();
        break;
    case QEvent::Leave:
        pointer_.reset();
        Refresh();
        break;
    case QEvent::Resize:
        setGeometry(chart_.rect());
        break;
    default:
        break;
    }
    return false;
}

void TChartReadout::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QRegion painted;
    const auto column = [&](int x, int width, QRgb colour) {
        const QRect r = ColumnRect(x, width);
        painter.fillRect(r, QColor(colour));
        painted += r;
    };
    if (marker_)
        if (const auto x = FrameColumn(*marker_))
            column(*x, MarkerWidth, MarkerColour);
    if (const auto layout = Layout()) {
        if (layout->CursorX)
            column(*layout->CursorX, 1, CursorColour);
        painter.setPen(QColor(BoxFrameColour));
        painter.setBrush(QColor(BoxColour));
        painter.drawRect(layout->Box.adjusted(0, 0, -1, -1));
        painter.setFont(ChartDefaultFont());
        int y = layout->Box.top() + BoxPadding + metrics_.ascent();
        const int x = layout->Box.left() + BoxPadding + 1;
        for (const TReadoutLine& line : layout->Lines) {
            const QRgb rgb = chart::ToRgb(line.Colour);
            if (NeedsDarkBand(rgb))
                painter.fillRect(QRect(layout->Box.left() + 1, y - metrics_.ascent(),
                                       layout->Box.width() - 2, metrics_.height()),
                                 QColor(DarkBandColour));
            painter.setPen(QColor(rgb));
            painter.drawText(x, y, line.Text);
            y += metrics_.height();
        }
        painted += layout->Box;
    }
    painted_ = painted;
}
