#pragma once

// Frames marked on the chart (those of a cell of the analysis page's table): ticks along the
// plot's bottom edge, and Ctrl+Right / Ctrl+Left choose the next or the previous of them, so
// the chosen frame and the gauges follow.

#include "ui/reading/ChosenFrame.h"
#include "widgets/chart/Chart.h"

#include <QObject>

#include <cstdint>
#include <vector>

class TFrameMarks : public QObject {
    Q_OBJECT
public:
    // Made after chosen, so that its keys come first on the chart. Both outlive this.
    TFrameMarks(TChart& chart, TChosenFrame& chosen);

    // Marks frames (ascending) and chooses the first of them; none clears the marks.
    void Mark(std::vector<std::int64_t> frames);
    [[nodiscard]] const std::vector<std::int64_t>& Frames() const noexcept { return frames_; }
    // Chooses the marked frame after (direction 1) or before (-1) the chosen one; false when
    // there is none.
    bool Step(int direction);
    // The keys pressed on widget, or left to it by the child with the focus, step as on the
    // chart.
    void TakeKeysOf(QWidget& widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TChart& chart_;
    TChosenFrame& chosen_;
    std::vector<std::int64_t> frames_;
};
