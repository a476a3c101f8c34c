#include "Chart.h"

namespace {

// Colours given to series attached with clDefault, in attachment order.
constexpr TColor SeriesPalette[] = {0x0000FF, 0x00FF00, 0xFFFF00, 0xFF0000, 0xFF00FF,
                                    0x008080, 0x800000, 0x008000, 0x000080, 0x808000};

} // namespace

TChart::TChart(QWidget* parent) : QWidget(parent) {}

TChart::~TChart() = default;

void TChart::Attach(std::unique_ptr<TChartSeries> series) {
    series->parentChart_ = this;
    if (series->SeriesColor == clDefault)
        series->SeriesColor = SeriesPalette[series_.size() % std::size(SeriesPalette)];
    series_.push_back(std::move(series));
    RequestRepaint();
}

void TChart::RequestRepaint() {
    imageStale_ = true;
    if (updatePending_)
        return;
    updatePending_ = true;
    update();
}

void TChart::paintEvent(QPaintEvent*) {
    updatePending_ = false;
    imageStale_ = false;
}
