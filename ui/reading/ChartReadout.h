#pragma once

// The telemetry chart's readings over its picture: while the pointer is over the plot, a
// thin cursor on the frame nearest to it and a readout of that frame's values; and the
// marker of a chosen frame. Both are drawn over the chart's cached image by a transparent
// widget lying on the chart, so following the pointer never redraws the series.

#include "telemetry/FrameTable.h"
#include "ui/reading/ComparedOnChart.h"
#include "widgets/chart/Chart.h"

#include <QFontMetrics>
#include <QRegion>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// One line of the readout: the frame's number (Series -1), or a switched-on series' value;
// of the recording compared with the chart's where Compared is set.
struct TReadoutLine {
    int Series;
    std::optional<double> Value; // in the quantity's unit; none where the series has no point
    QString Text;
    TColor Colour;
    bool Compared = false;
    std::optional<double> Difference = {}; // the chart's value minus the compared one
};

// How many times its quantity, in the unit the readout gives, series 0 to 5 plots: the speed
// as it is, the byte fields ×10, the advance in degrees ×100.
[[nodiscard]] int PlotScale(int series) noexcept;
// The unit the readout gives series 0 to 5 in: "об/мин", "°", or none for the bytes as decoded.
[[nodiscard]] QString QuantityUnit(int series);

// The readout of frame on chart, whose frames are those of the table: its number, then each
// switched-on series of 0 to 5 under its caption, in its points' colour, naming the plotted
// scale where it is not 1. With a compared recording, each line is followed by one of the
// compared recording at that place of the chart, in its lighter colour, with the difference
// where both have a value.
[[nodiscard]] std::vector<TReadoutLine>
ReadoutLines(const TChart& chart, const telemetry::TFrameTable& frames, std::int64_t frame,
             const std::array<QString, 6>& captions,
             const std::optional<TComparedOnChart>& compared = std::nullopt);

class TChartReadout : public QWidget {
    Q_OBJECT
public:
    // Lies over the whole chart, below its other children; the values come from frames, the
    // frame table of what the chart shows; captions name series 0 to 5.
    TChartReadout(TChart& chart, const telemetry::TFrameTable& frames,
                  const std::array<QString, 6>& captions);

    // The frame the cursor marks: while the pointer is over the plot with no button held.
    [[nodiscard]] std::optional<std::int64_t> CursorFrame() const;

    // The captions that name series 0 to 5.
    [[nodiscard]] const std::array<QString, 6>& Captions() const noexcept { return captions_; }

    [[nodiscard]] std::optional<std::int64_t> Marker() const noexcept { return marker_; }
    // The time shown beside the frame's number; none shows only the number.
    std::function<QString(std::int64_t frame)> FrameTime;
    // Lines added under the frame's for what is marked at column x of the chart.
    std::function<std::vector<TReadoutLine>(int x)> MarksAt;
    void SetMarker(std::optional<std::int64_t> frame);

    // The recording compared with the chart's, read beside it; none when there is none.
    void SetCompared(const std::optional<TComparedOnChart>& compared);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    struct TLayout {
        std::optional<int> CursorX; // none when the frame lies outside the plot
        QRect Box;
        std::vector<TReadoutLine> Lines;
    };
    [[nodiscard]] std::optional<TLayout> Layout() const;
    [[nodiscard]] std::optional<int> FrameColumn(std::int64_t frame) const;
    [[nodiscard]] QRect ColumnRect(int x, int width) const;
    [[nodiscard]] QRegion Covered() const;
    void Refresh();

    TChart& chart_;
    const telemetry::TFrameTable& frames_;
    std::array<QString, 6> captions_;
    QFontMetrics metrics_;
    std::optional<QPoint> pointer_;
    std::optional<std::int64_t> marker_;
    std::optional<TComparedOnChart> compared_;
    QRegion painted_; // what the last paint drew, cleared by the next one
};
