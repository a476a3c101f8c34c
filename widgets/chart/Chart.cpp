#include "widgets/chart/Chart.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <optional>
#include <utility>

using chart::TRectI;

namespace {

// Colours given to series attached with clDefault, in attachment order.
constexpr TColor SeriesPalette[] = {0x0000FF, 0x00FF00, 0xFFFF00, 0xFF0000, 0xFF00FF,
                                    0x008080, 0x800000, 0x008000, 0x000080, 0x808000};

// Paints come no closer together than this: 30 a second, smooth to the eye under the
// mouse.
constexpr int FrameMilliseconds = 33;
// New points alone are shown at most at the gauges' refresh rate: a stream of 640 frames a
// second moves the picture by a few columns at most between two such paints. Where drawing
// takes longer (much plotted, a slow machine), they wait a hundred times as long as the last
// drawing took, up to a second, so that following the stream costs about one percent of a
// core however much is plotted.
constexpr qint64 PointsMilliseconds = 100;
constexpr qint64 PointsWaitPerDrawing = 100;
constexpr qint64 LongestPointsMilliseconds = 1000;
// A selection's shade: the highlight's blue, light enough to leave the lines under it readable.
constexpr QColor SelectionShade(0, 120, 215, 60);
// Marks: ticks up from the plot's bottom edge, dark enough to show over the lines.
constexpr QColor MarkColour(128, 0, 128);
constexpr int MarkHeight = 10;

// Bottom, top, left, right, depth.
std::array<std::unique_ptr<TChartAxis>, 5> MakeAxes(chart::TOwner* owner) {
    std::array<std::unique_ptr<TChartAxis>, 5> axes;
    for (int i = 0; i < 5; ++i)
        axes[i] = std::make_unique<TChartAxis>(static_cast<TAxisKind>(i), owner);
    return axes;
}

} // namespace

TChart::TChart(QWidget* parent)
    : QWidget(parent),
      axes_(MakeAxes(this)), axisList_{axes_[0].get(), axes_[1].get(), axes_[2].get(),
                                       axes_[3].get(), axes_[4].get()},
      pointsMilliseconds_(PointsMilliseconds),
      gestures_(*this, {&TopAxis(), &BottomAxis()}, {&LeftAxis(), &RightAxis()}) {
    setAttribute(Qt::WA_OpaquePaintEvent); // the image covers the whole area
    updateTimer_.setSingleShot(true);
    connect(&updateTimer_, &QTimer::timeout, this, &TChart::ShowChanges);
}

TChart::~TChart() = default;

void TChart::AddDecoration(chart::TPlotItem& item) {
    if (std::find(decorations_.begin(), decorations_.end(), &item) != decorations_.end())
        return;
    decorations_.push_back(&item);
    item.SetOwner(this);
    RequestRepaint();
}

void TChart::RemoveDecoration(chart::TPlotItem& item) {
    const auto at = std::find(decorations_.begin(), decorations_.end(), &item);
    if (at == decorations_.end())
        return;
    decorations_.erase(at);
    item.SetOwner(nullptr);
    RequestRepaint();
}

void TChart::Attach(std::unique_ptr<TChartSeries> series, bool below) {
    series->SetOwner(this);
    if (series->SeriesColor == clDefault)
        series->SeriesColor = SeriesPalette[series_.size() % std::size(SeriesPalette)];
    items_.insert(below ? items_.begin() + static_cast<std::ptrdiff_t>(below_++) : items_.end(),
                  series.get());
    series_.push_back(std::move(series));
    RequestRepaint();
}

void TChart::DeleteSeries(TChartSeries& series) {
    const auto owned = std::find_if(series_.begin(), series_.end(),
                                    [&](const auto& s) { return s.get() == &series; });
    if (owned == series_.end())
        return;
    const auto drawn = std::find(items_.begin(), items_.end(), &series);
    if (drawn - items_.begin() < static_cast<std::ptrdiff_t>(below_))
        --below_;
    items_.erase(drawn);
    series_.erase(owned);
    RequestRepaint();
}

void TChart::SetMargins(const chart::TMargins& m) {
    if (m.Left == margins_.Left && m.Top == margins_.Top && m.Right == margins_.Right &&
        m.Bottom == margins_.Bottom)
        return;
    margins_ = m;
    PropertiesChanged();
}

void TChart::Changed(chart::TChange change) {
    switch (change) {
    case chart::TChange::Points:
        RequestPointsRepaint();
        break;
    case chart::TChange::Content:
        RequestRepaint();
        break;
    case chart::TChange::Look:
        PropertiesChanged();
        break;
    }
}

void TChart::PropertiesChanged() {
    ++generation_;
    RequestRepaint();
}

void TChart::RequestRepaint() {
    RequestRepaintWithin(FrameMilliseconds);
}

void TChart::RequestPointsRepaint() {
    RequestRepaintWithin(pointsMilliseconds_);
}

void TChart::RequestRepaintWithin(qint64 milliseconds) {
    imageStale_ = true;
    if (updatePending_)
        return;
    // Always through the event loop: a replay adds all its points before anything is drawn.
    const qint64 since = sinceLastPaint_.isValid() ? sinceLastPaint_.elapsed() : milliseconds;
    const int wait = static_cast<int>(std::max<qint64>(0, milliseconds - since));
    if (!updateTimer_.isActive() || updateTimer_.remainingTime() > wait)
        updateTimer_.start(wait);
}

void TChart::ShowChanges() {
    if (!isVisible()) {
        // Drawn at the paint that comes when the chart is shown again.
        updatePending_ = true;
        update();
        return;
    }
    // Drawn ahead of the paint, so that one paint covers exactly the rows that changed (the
    // plot, and the axes' labels and the switches lying over the chart only when they did),
    // and a redraw that changes nothing costs no paint.
    sinceLastPaint_.start();
    const QRect changed = DrawImage();
    imageStale_ = false;
    pointsMilliseconds_ =
        std::clamp(sinceLastPaint_.nsecsElapsed() * PointsWaitPerDrawing / 1'000'000,
                   PointsMilliseconds, LongestPointsMilliseconds);
    if (changed.isEmpty())
        return;
    update(changed);
    // The shade follows the axes, which may have moved where the picture did not change.
    if (selection_)
        update(QRect(plotRect_.Left, plotRect_.Top, plotRect_.Width(), plotRect_.Height()));
}

bool TChart::AxisShown(const TChartAxis& axis) const {
    return chart::AxisShown(axis, items_, axisVisible_);
}

// ---------------------------------------------------------------------------------------
// Drawing

QRgb TChart::PanelRgb() const {
    if (color_ == clDefault)
        return palette().color(QPalette::Window).rgb() | 0xFF000000u;
    return chart::ToRgb(color_);
}

const QImage& TChart::Draw() {
    DrawImage();
    imageStale_ = false;
    return canvas_.Image();
}

void TChart::LayOut() {
    const QSize size = this->size();
    plotRect_ = chart::PlotRectFromMargins(size.width(), size.height(), margins_, borderWidth_);
    // Titles take their room only when they have something to show.
    auto caption = [&](const TChartText& text, bool top) -> std::optional<QRect> {
        if (!text.Visible || text.Text.isEmpty())
            return std::nullopt;
        const int height =
            chart::FontHeight(ChartDefaultFont()) * static_cast<int>(text.Text.count('\n') + 1);
        const QRect area(plotRect_.Left, top ? plotRect_.Top : plotRect_.Bottom - height,
                         plotRect_.Width(), height);
        TRectI rest = plotRect_;
        (top ? rest.Top : rest.Bottom) += top ? height : -height;
        plotRect_ = chart::IntersectOrKeep(plotRect_, rest);
        return area;
    };
    titleArea_ = caption(title_, true);
    footArea_ = caption(foot_, false);

    plotRect_ = chart::LayOutAxes(plotRect_, axisList_, items_, axisVisible_);
}

chart::TBackground TChart::DescribeBackground() const {
    chart::TBackground b;
    b.Generation = generation_;
    b.Size = size();
    b.Panel = {PanelRgb(),
               palette().color(QPalette::Light).rgb(),
               palette().color(QPalette::Dark).rgb(),
               bevelOuter_,
               bevelInner_,
               bevelWidth_,
               borderWidth_,
               backWall_};
    b.Plot = plotRect_;
    if (titleArea_)
        b.Captions.push_back({title_.Text, title_.Alignment, *titleArea_});
    if (footArea_)
        b.Captions.push_back({foot_.Text, foot_.Alignment, *footArea_});
    b.Axes.resize(axisList_.size());
    for (std::size_t i = 0; i < axisList_.size(); ++i)
        if (axisVisible_ && axisList_[i]->Shown())
            b.Axes[i] =
                chart::WalkAxis(*axisList_[i], chart::AxisPointLabels(*axisList_[i], items_));
    return b;
}

QRect TChart::DrawImage() {
    if (!canvas_.Begin(size()))
        return {};
    LayOut();
    if (axisVisible_ && OnBeforeDrawAxes)
        OnBeforeDrawAxes(*this);
    canvas_.Background(DescribeBackground(), axisList_);
    if (OnBeforeDrawSeries)
        OnBeforeDrawSeries(*this);
    canvas_.Items(decorations_, axisList_, plotRect_, clipPoints_);
    canvas_.Items(items_, axisList_, plotRect_, clipPoints_);
    if (OnAfterDraw)
        OnAfterDraw(*this);
    return canvas_.ChangedRows();
}

void TChart::paintEvent(QPaintEvent* event) {
    // The timer keeps running: this paint may cover only part of the chart (a switch lying
    // over it paints the chart beneath itself), and the rest of the window still needs the
    // picture drawn now. What update() asked for comes whatever this paint covers.
    updatePending_ = false;
    sinceLastPaint_.start();
    QRect changed;
    if (imageStale_ || canvas_.Image().size() != size()) {
        changed = DrawImage();
        imageStale_ = false;
    }
    QPainter painter(this);
    painter.drawImage(0, 0, canvas_.Image());
    // The picture changed beyond what this paint covers: that part is painted next.
    const QRegion rest = QRegion(changed).subtracted(event->region());
    if (!rest.isEmpty())
        update(rest);
    if (const auto columns = ShadedColumns())
        painter.fillRect(QRect(columns->first, plotRect_.Top, columns->second - columns->first + 1,
                               plotRect_.Height()),
                         SelectionShade);
    if (!marks_.empty()) {
        const chart::TAxisMap& x = BottomAxis().Map();
        int last = plotRect_.Left - 1;
        for (auto at = std::lower_bound(marks_.begin(), marks_.end(), x.Minimum);
             at != marks_.end() && *at <= x.Maximum; ++at) {
            const int column = x.ToPixel(*at);
            if (column == last || column < plotRect_.Left || column >= plotRect_.Right)
                continue;
            painter.fillRect(column, plotRect_.Bottom - MarkHeight, 1, MarkHeight, MarkColour);
            last = column;
        }
    }
    if (const auto outline = gestures_.ZoomRectangle())
        chart::DrawZoomRectangle(painter, *outline);
}

// ---------------------------------------------------------------------------------------
// Zoom and scroll

TChartHit TChart::HitTest(QPoint p) const {
    const int px = p.x(), py = p.y();
    for (auto it = items_.rbegin(); it != items_.rend(); ++it)
        if ((*it)->Active() &&
            (*it)->Hit(chart::ItemView(**it, axisList_, plotRect_, clipPoints_), px, py))
            return TChartHit::Series;
    for (const TChartAxis* axis : axisList_)
        if (chart::AxisHit(*axis, px, py))
            return TChartHit::Axis;
    const bool anyActive =
        std::any_of(series_.begin(), series_.end(), [](const auto& s) { return s->Active(); });
    if (anyActive && plotRect_.Contains(px, py))
        return TChartHit::PlotRect;
    return TChartHit::None;
}

void TChart::mousePressEvent(QMouseEvent* event) {
    QWidget::mousePressEvent(event);
    gestures_.Press(event->button(), event->position().toPoint(), event->modifiers());
}

void TChart::mouseMoveEvent(QMouseEvent* event) {
    QWidget::mouseMoveEvent(event);
    gestures_.Move(event->position().toPoint());
}

void TChart::mouseReleaseEvent(QMouseEvent* event) {
    QWidget::mouseReleaseEvent(event);
    gestures_.Release(event->button(), event->position().toPoint());
}

void TChart::wheelEvent(QWheelEvent* event) {
    QWidget::wheelEvent(event);
    if (gestures_.Wheel(event->angleDelta().y()))
        event->accept();
}

void TChart::UndoZoom() {
    gestures_.UndoZoom();
}

chart::TGestureRules TChart::GestureRules() const {
    return {AllowZoom, AllowPanning, AnimatedZoom, AnimatedZoomSteps, AllowSelection};
}

bool TChart::Grabs(QPoint p) const {
    const TChartHit hit = HitTest(p);
    return hit == TChartHit::Series || hit == TChartHit::Axis || hit == TChartHit::PlotRect;
}

void TChart::AfterZoom() {
    if (OnZoom)
        OnZoom(*this);
}

void TChart::AfterUndoZoom() {
    if (OnUndoZoom)
        OnUndoZoom(*this);
}

void TChart::AfterScroll() {
    if (OnScroll)
        OnScroll(*this);
}

bool TChart::AllowScroll(TChartAxis& axis, double& min, double& max) {
    bool allow = true;
    if (OnAllowScroll)
        OnAllowScroll(axis, min, max, allow);
    return allow;
}

// ---------------------------------------------------------------------------------------
// Selection

void TChart::SetSelection(const std::optional<TSpan>& span) {
    if (span == selection_)
        return;
    selection_ = span;
    ShowSelection();
}

void TChart::SetMarks(std::vector<double> marks) {
    marks_ = std::move(marks);
    ShowSelection();
}

void TChart::ShowSelection() {
    update(QRect(plotRect_.Left, plotRect_.Top, plotRect_.Width(), plotRect_.Height()));
}

void TChart::Select(int from, int to) {
    const chart::TAxisMap& x = BottomAxis().Map();
    selection_ = TSpan{x.ToValue(from), x.ToValue(to)};
    if (selection_->From > selection_->To)
        std::swap(selection_->From, selection_->To);
    if (OnSelect)
        OnSelect(*this);
}

std::optional<std::pair<int, int>> TChart::ShadedColumns() const {
    if (const auto dragged = gestures_.SelectionColumns())
        return dragged;
    if (!selection_ || plotRect_.Width() <= 0)
        return std::nullopt;
    const chart::TAxisMap& x = Axis(TAxisKind::Bottom).Map();
    const int from = std::min(x.ToPixel(selection_->From), x.ToPixel(selection_->To));
    const int to = std::max(x.ToPixel(selection_->From), x.ToPixel(selection_->To));
    if (to < plotRect_.Left || from >= plotRect_.Right)
        return std::nullopt;
    return std::pair(std::max(from, plotRect_.Left), std::min(to, plotRect_.Right - 1));
}
