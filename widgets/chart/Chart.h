#pragma once

#include "ChartSeries.h"

#include <QWidget>

#include <memory>
#include <vector>

// A line chart: an ordered list of series (the drawing order) on one panel.
class TChart : public QWidget {
    Q_OBJECT
public:
    explicit TChart(QWidget* parent = nullptr);
    ~TChart() override;

    // Creates a series at the end of the list; the chart owns it.
    template <typename Series = TLineSeries> Series& AddSeries() {
        auto series = std::make_unique<Series>();
        Series& attached = *series;
        Attach(std::move(series));
        return attached;
    }
    [[nodiscard]] int SeriesCount() const noexcept { return static_cast<int>(series_.size()); }
    [[nodiscard]] TChartSeries& Series(int index) const { return *series_.at(index); }

    // Marks the picture stale and asks the window system for one paint; any number of
    // requests before that paint cost one redraw.
    void RequestRepaint();
    [[nodiscard]] bool ImageStale() const noexcept { return imageStale_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Attach(std::unique_ptr<TChartSeries> series);

    std::vector<std::unique_ptr<TChartSeries>> series_;
    bool imageStale_ = true;
    bool updatePending_ = false;
};
