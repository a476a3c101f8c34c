#pragma once

// A second recording, B, on the chart beside the one it shows, A: opened from the chart's
// menu or by Ctrl+Shift+O, read onto six series of its own through the replay that reads A,
// drawn under A's in the same colours, lighter and dashed. B can be shifted along A's
// frames: by a left drag with Alt held, or by aligning A's chosen frame with the frame B
// shows where the menu was asked for. A strip over the chart's bottom right names B and its
// shift. Closing B takes its series away and leaves the chart as it was without it.

#include "telemetry/FrameTable.h"
#include "ui/reading/ComparedOnChart.h"
#include "ui/shell/FileDialogs.h"
#include "widgets/chart/Chart.h"

#include <QObject>
#include <QPoint>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

class QAction;
class QLabel;
class QMenu;
class TChartExport;
class TChartReadout;
class TChosenFrame;

// The text of the strip naming B: "Сравнение: run.dcc | сдвиг кадров: +640 (+1,00 с)".
[[nodiscard]] QString ComparedStripText(const QString& fileName, std::int64_t shift);

// Where a recording the live session records cannot be compared.
inline constexpr char ComparedBeingRecorded[] =
    "Запись, которая сейчас ведётся, нельзя открыть для сравнения";

class TComparedRecording : public QObject {
    Q_OBJECT
public:
    // The actions go into menu and their shortcuts work anywhere in window; the readout and
    // the export are told where B is; statusLine shows the progress of a long open; B is
    // chosen in Dialog, shown by dialogs.
    TComparedRecording(QWidget& window, TChart& chart, QMenu& menu, TChartReadout& readout,
                       TChosenFrame& chosen, TChartExport& exporter, QLabel& statusLine,
                       TFileDialogs& dialogs);

    QAction* Compare;    // "Сравнить с записью…"
    QAction* Close;      // "Закрыть запись для сравнения"
    QAction* Align;      // "Совместить с выбранным кадром"
    QAction* ResetShift; // "Сбросить сдвиг записи для сравнения"
    QLabel* Strip;       // B's name and shift, shown while B is open
    TFileDialog Dialog;

    // Asks for a recording to compare and opens it; a failure is shown in the error box.
    void CompareClick();

    // Reads the recording at path as B, in place of the one compared before; the shift starts
    // at 0. A stopped open leaves no B; a file cut short or too long keeps what was read and
    // raises as the viewer does. Raises ComparedBeingRecorded for the file the live session
    // records, and the viewer's messages for a file that cannot be opened or mapped.
    void Open(const QString& path);
    void CloseCompared();
    [[nodiscard]] bool IsOpen() const noexcept { return firstSeries_.has_value(); }
    [[nodiscard]] std::optional<TComparedOnChart> Where() const;

    [[nodiscard]] std::int64_t Shift() const noexcept { return shift_; }
    void SetShift(std::int64_t shift);
    // Shifts B so that its frame frameB stands at A's chosen frame; nothing without one.
    void AlignChosenFrameWith(std::int64_t frameB);

    // The file the live session records, which cannot be B; empty while none is recorded.
    void SetRecordedFile(const QString& path) { recorded_ = path; }
    // One of the series switches: B's series follows A's.
    void SwitchSeries(int series, bool active);

signals:
    // B was opened, shifted or closed: Where() tells how it stands now.
    void Changed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Show();
    // B's frame at the place of the chart where the menu was asked for, when over the plot.
    [[nodiscard]] std::optional<std::int64_t> FrameOfBAt(QPoint p) const;

    QWidget& window_;
    TChart& chart_;
    TFileDialogs& dialogs_;
    TChartReadout& readout_;
    TChosenFrame& chosen_;
    TChartExport& exporter_;
    QLabel& statusLine_;
    std::optional<int> firstSeries_; // B's series 0 on the chart, while open
    telemetry::TFrameTable frames_;  // B's, while open
    QString fileName_;
    QString recorded_;
    std::int64_t shift_ = 0;
    std::optional<std::int64_t> menuFrameB_; // B's frame where the menu came up
    struct TDrag {
        double From; // the axis value where the drag began
        std::int64_t Shift;
    };
    std::optional<TDrag> drag_;
};
