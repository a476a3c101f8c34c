#include "widgets/chart/ChartCanvas.h"

#include <QPainter>

#include <cstring>
#include <utility>

namespace chart {

namespace {

// One-pixel rings from the panel's edge inward: the outer bevel, the border in the panel's
// colour, the inner bevel. A lowered bevel is dark at the top left, a raised one light.
void DrawBevels(TRaster& raster, QSize size, const TPanel& panel) {
    TRectI r{0, 0, size.width(), size.height()};
    auto ring = [&](QRgb topLeft, QRgb bottomRight) {
        raster.Fill({r.Left, r.Top, r.Right, r.Top + 1}, topLeft);
        raster.Fill({r.Left, r.Top, r.Left + 1, r.Bottom}, topLeft);
        raster.Fill({r.Left, r.Bottom - 1, r.Right, r.Bottom}, bottomRight);
        raster.Fill({r.Right - 1, r.Top, r.Right, r.Bottom}, bottomRight);
        r = {r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1};
    };
    auto bevel = [&](TBevelCut cut) {
        if (cut == TBevelCut::bvNone)
            return;
        for (int i = 0; i < panel.BevelWidth; ++i)
            cut == TBevelCut::bvLowered ? ring(panel.Shadow, panel.Highlight)
                                        : ring(panel.Highlight, panel.Shadow);
    };
    bevel(panel.BevelOuter);
    for (int i = 0; i < panel.BorderWidth; ++i)
        ring(panel.Colour, panel.Colour);
    bevel(panel.BevelInner);
}

// The wall's fill and its frame on the plot rectangle's four edges.
void DrawBackWall(TRaster& raster, const TRectI& p, const TChartWall& wall) {
    const bool fill = wall.BrushStyle != TBrushStyle::bsClear &&
                      !(wall.Color == clDefault && wall.BrushStyle == TBrushStyle::bsSolid);
    if (fill) {
        TColor c = wall.Color == clDefault ? 0xFFFFFF : wall.Color;
        if (wall.BrushStyle != TBrushStyle::bsSolid && c == wall.BrushColor)
            c = wall.BrushColor == 0 ? 0xFFFFFF : 0;
        raster.Fill({p.Left, p.Top, p.Right + 1, p.Bottom + 1}, ToRgb(c));
    }
    if (wall.Pen.Visible) {
        const QRgb c = ToRgb(wall.Pen.Color);
        raster.Fill({p.Left, p.Top, p.Right + 1, p.Top + 1}, c);
        raster.Fill({p.Left, p.Bottom, p.Right + 1, p.Bottom + 1}, c);
        raster.Fill({p.Left, p.Top, p.Left + 1, p.Bottom + 1}, c);
        raster.Fill({p.Right, p.Top, p.Right + 1, p.Bottom + 1}, c);
    }
}

} // namespace

bool TPlotCanvas::Begin(QSize size) {
    std::swap(image_, previousImage_);
    if (image_.size() != size)
        image_ = QImage(size, QImage::Format_RGB32);
    return !image_.isNull();
}

void TPlotCanvas::Background(TBackground background, TAxisList axes) {
    // Live plotting mostly adds points that leave the axes' labels where they were.
    if (!(background == background_) || backgroundImage_.size() != background.Size) {
        background_ = std::move(background);
        DrawBackground(axes);
    }
    std::memcpy(image_.bits(), backgroundImage_.constBits(),
                static_cast<std::size_t>(image_.sizeInBytes()));
}

void TPlotCanvas::DrawBackground(TAxisList axes) {
    const QSize size = background_.Size;
    if (backgroundImage_.size() != size)
        backgroundImage_ = QImage(size, QImage::Format_RGB32);
    TRaster raster(backgroundImage_);
    raster.Fill({0, 0, size.width(), size.height()}, background_.Panel.Colour);
    DrawBevels(raster, size, background_.Panel);

    QPainter painter(&backgroundImage_);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    for (const TCaption& caption : background_.Captions) {
        painter.setFont(ChartDefaultFont());
        painter.setPen(QColor(0, 0, 255));
        painter.drawText(caption.Area, static_cast<int>(caption.Alignment | Qt::AlignTop),
                         caption.Text);
    }
    DrawBackWall(raster, background_.Plot, background_.Panel.BackWall);
    for (std::size_t i = 0; i < axes.size() && i < background_.Axes.size(); ++i)
        if (background_.Axes[i].Shown)
            DrawAxis(painter, raster, *axes[i], background_.Axes[i], background_.Plot);
}

void TPlotCanvas::Items(TItemList items, TAxisList axes, const TRectI& plot, bool clip) {
    TRaster raster(image_);
    if (clip)
        raster.SetClip({plot.Left + 1, plot.Top + 1, plot.Right, plot.Bottom - 1});
    for (TPlotItem* item : items)
        if (item->Active())
            item->Draw(raster, ItemView(*item, axes, plot, clip));
}

QRect TPlotCanvas::ChangedRows() const {
    if (image_.size() != previousImage_.size())
        return image_.rect();
    const auto bytes = static_cast<std::size_t>(image_.bytesPerLine());
    auto same = [&](int y) {
        return std::memcmp(image_.constScanLine(y), previousImage_.constScanLine(y), bytes) == 0;
    };
    int first = 0, last = image_.height() - 1;
    while (first <= last && same(first))
        ++first;
    while (last > first && same(last))
        --last;
    return first > last ? QRect() : QRect(0, first, image_.width(), last - first + 1);
}

} // namespace chart
