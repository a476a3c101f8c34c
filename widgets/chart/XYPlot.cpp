#include "widgets/chart/XYPlot.h"

#include "widgets/chart/ChartAxisDraw.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>

TXYPlot::TXYPlot(QWidget* parent)
    : QWidget(parent), bottom_(TAxisKind::Bottom, this),
      left_(TAxisKind::Left, this), axisList_{&bottom_, &left_},
      gestures_(*this, {&bottom_}, {&left_}) {
    setAttribute(Qt::WA_OpaquePaintEvent); // the picture covers the whole area
}

TXYPlot::~TXYPlot() {
    for (chart::TPlotItem* item : items_)
        item->SetOwner(nullptr);
}

void TXYPlot::AddItem(chart::TPlotItem& item) {
    item.SetOwner(this);
    items_.push_back(&item);
    RequestRepaint();
}

void TXYPlot::RemoveItem(chart::TPlotItem& item) {
    std::erase(items_, &item);
    item.SetOwner(nullptr);
    RequestRepaint();
}

void TXYPlot::SetMargins(const chart::TMargins& margins) {
    margins_ = margins;
    ++generation_;
    RequestRepaint();
}

void TXYPlot::Changed(chart::TChange change) {
    if (change == chart::TChange::Look)
        ++generation_;
    RequestRepaint();
}

void TXYPlot::RequestRepaint() {
    imageStale_ = true;
    update();
}

void TXYPlot::LayOut() {
    plotRect_ = chart::PlotRectFromMargins(width(), height(), margins_, 0);
    plotRect_ = chart::LayOutAxes(plotRect_, axisList_, items_, true);
}

const QImage& TXYPlot::Draw() {
    imageStale_ = false;
    if (!canvas_.Begin(size()))
        return canvas_.Image();
    LayOut();
    chart::TBackground b;
    b.Generation = generation_;
    b.Size = size();
    const QPalette& colours = palette();
    b.Panel.Colour = colours.color(QPalette::Window).rgb() | 0xFF000000u;
    b.Panel.Highlight = colours.color(QPalette::Light).rgb();
    b.Panel.Shadow = colours.color(QPalette::Dark).rgb();
    b.Panel.BevelOuter = TBevelCut::bvLowered;
    b.Panel.BackWall.Color = 0xFFFFFF;
    b.Panel.BackWall.BrushStyle = TBrushStyle::bsSolid;
    b.Plot = plotRect_;
    for (TChartAxis* axis : axisList_)
        b.Axes.push_back(axis->Shown() ? chart::WalkAxis(*axis, {}) : chart::TAxisPicture{});
    canvas_.Background(std::move(b), axisList_);
    canvas_.Items(items_, axisList_, plotRect_, true);
    emit Drawn();
    return canvas_.Image();
}

void TXYPlot::paintEvent(QPaintEvent*) {
    if (imageStale_ || canvas_.Image().size() != size())
        Draw();
    QPainter painter(this);
    painter.drawImage(0, 0, canvas_.Image());
    if (const auto outline = gestures_.ZoomRectangle())
        chart::DrawZoomRectangle(painter, *outline);
}

bool TXYPlot::Grabs(QPoint p) const {
    if (plotRect_.Contains(p.x(), p.y()))
        return true;
    return std::any_of(axisList_.begin(), axisList_.end(),
                       [&](const TChartAxis* axis) { return chart::AxisHit(*axis, p.x(), p.y()); });
}

void TXYPlot::UndoZoom() {
    gestures_.UndoZoom();
}

void TXYPlot::mousePressEvent(QMouseEvent* event) {
    QWidget::mousePressEvent(event);
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::LeftButton)
        pressedAt_ = p;
    gestures_.Press(event->button(), p);
}

void TXYPlot::mouseMoveEvent(QMouseEvent* event) {
    QWidget::mouseMoveEvent(event);
    gestures_.Move(event->position().toPoint());
}

void TXYPlot::mouseReleaseEvent(QMouseEvent* event) {
    QWidget::mouseReleaseEvent(event);
    const QPoint p = event->position().toPoint();
    gestures_.Release(event->button(), p);
    if (event->button() != Qt::LeftButton || !pressedAt_)
        return;
    const QPoint from = *pressedAt_;
    pressedAt_.reset();
    if (std::abs(p.x() - from.x()) <= ClickSlack && std::abs(p.y() - from.y()) <= ClickSlack &&
        plotRect_.Contains(p.x(), p.y()))
        emit Clicked(p);
}

void TXYPlot::wheelEvent(QWheelEvent* event) {
    QWidget::wheelEvent(event);
    if (gestures_.Wheel(event->angleDelta().y())) {
        event->accept();
        emit ScalesChanged();
    }
}
