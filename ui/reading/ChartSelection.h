#pragma once

// The frames the user selects on the chart with Shift and a left drag: shaded on the chart,
// with their figures (frames, duration, and each quantity's smallest, largest, mean and
// standard deviation) in a box over the plot's top left corner, and written out as CSV from
// there. Esc on the chart clears the selection.

#include "analysis/RecordingFrameTimes.h"
#include "analysis/Selection.h"
#include "telemetry/FrameTable.h"
#include "telemetry/RecordingTimes.h"
#include "ui/shell/FileDialogs.h"
#include "widgets/chart/Chart.h"

#include <QObject>

#include <array>
#include <cstdint>
#include <optional>

class QFrame;
class QLabel;
class QPushButton;

// The frames a drag over the bottom axis' values from to to selects, of frames 0 to rows - 1:
// those plotted inside it (frame k at X = k), or where none is, the one nearest its middle.
// Empty when there are no frames.
[[nodiscard]] analysis::TFrameRange FramesInSpan(double from, double to, std::int64_t rows);

// The box's text: a line with the frames and the duration ("≈" before a duration not measured),
// then a table of the six quantities under captions, in the readout's units.
[[nodiscard]] QString SelectionText(const analysis::TSelectionFigures& figures,
                                    const std::array<QString, 6>& captions);

class TChartSelection : public QObject {
    Q_OBJECT
public:
    // frames is the frame table of what chart shows; captions name series 0 to 5. All outlive
    // this.
    TChartSelection(TChart& chart, const telemetry::TFrameTable& frames, TFileDialogs& dialogs,
                    const std::array<QString, 6>& captions);

    // Selects frames (clamped to the table; nothing for an empty range), as a drag would.
    void Select(analysis::TFrameRange frames);
    void Clear();
    [[nodiscard]] std::optional<analysis::TFrameRange> Frames() const;
    [[nodiscard]] const std::optional<analysis::TSelectionFigures>& Figures() const noexcept {
        return figures_;
    }

    // Where the duration comes from: the times of the recording shown, measured where its
    // companion timed the frames; or, until set and after EstimateTimes (a live session), the
    // estimate at the line rate.
    void SetTimes(const telemetry::TRecordingTimes& times);
    void EstimateTimes();

    // Writes the figures as CSV (analysis::SelectionCsv) to path, whole or not at all; raises
    // std::runtime_error(ExportWriteError) when it cannot. Nothing selected writes nothing.
    void WriteCsv(const QString& path) const;

    QFrame* Box; // over the plot while something is selected
    QLabel* lblFigures;
    QPushButton* btnExportSelection; // "Экспорт выделения в CSV…"
    TFileDialog CsvDialog;

signals:
    void Changed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Selected();
    void Show();
    void ExportClick();

    TChart& chart_;
    const telemetry::TFrameTable& frames_;
    TFileDialogs& dialogs_;
    std::array<QString, 6> captions_;
    telemetry::TRecordingTimes times_{0, telemetry::TCompanionState::Missing};
    analysis::TRecordingFrameTimes frameTimes_{times_, frames_};
    std::optional<analysis::TSelectionFigures> figures_;
};
