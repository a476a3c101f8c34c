#pragma once

// Markers on the chart: key M, or "Поставить метку" in the chart's menu, marks the newest frame
// of a live session, or the chosen frame of a replayed recording (else the frame under the
// pointer); a small input under the top of the plot then takes an optional text (Enter keeps
// it, Esc leaves the marker without one). Markers are drawn as thin lines with their numbers,
// the session's own events as dashed lines of their own, and the readout names those the
// pointer is at. Each change goes into the recording's companion at once. Where that fails (a
// read-only folder) the markers stay for as long as the recording is shown, and the status
// line says so.

#include "telemetry/FrameTable.h"
#include "ui/reading/ChartReadout.h"
#include "ui/reading/ChosenFrame.h"
#include "ui/reading/MarkerModel.h"
#include "widgets/chart/Chart.h"
#include "widgets/chart/ChartMarkerLines.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class QAction;
class QLineEdit;
class QMenu;

class TChartMarkers : public QObject {
    Q_OBJECT
public:
    // The longest text a marker takes.
    static constexpr int TextLength = 60;
    // How far from a mark's line, in pixels, the pointer names it in the readout.
    static constexpr int NearPixels = 3;

    // The action works anywhere in window; the frames are those chart shows; seconds gives a
    // frame's time.
    TChartMarkers(QWidget& window, TChart& chart, const telemetry::TFrameTable& frames,
                  const TChartReadout& readout, const TChosenFrame& chosen,
                  std::function<double(std::int64_t)> seconds);
    ~TChartMarkers() override;

    QAction* Place; // "Поставить метку", M
    QLineEdit* Input;
    // Shows a text on the status line.
    std::function<void(const QString&)> Tell;

    // The frame under the pointer as the menu comes up, for Place from the menu.
    void WatchMenu(QMenu& menu);

    // A replayed recording, with its times as read when it was opened.
    void View(const QString& path, const telemetry::TRecordingTimes& times);
    // A live session's companion: markers go to it, and its events are drawn as they come.
    // writer must outlive this use of it, until Freeze or Stop.
    void Live(telemetry::TCompanionWriter& writer);
    // The live session ended: its marks stay on the chart, no more are set.
    void Freeze();
    // Nothing of a recording is shown any more: no marks, none set.
    void Stop();
    // Draws what came since: a live session's events, and marks on frames plotted since.
    void Refresh();

    // Through the model, then on the chart.
    bool Rename(int number, const QString& text);
    bool Delete(int number);

    [[nodiscard]] const TMarkerModel& Model() const noexcept { return model_; }
    // Why the markers' changes are not saved, as the status line says it; none while they are.
    [[nodiscard]] std::optional<QString> SaveFailure() const;
    [[nodiscard]] std::vector<telemetry::TMarker> Markers() const;
    // The readout's lines for the marks whose lines stand within NearPixels of column x of the
    // chart: a marker's number and text, an event's description, each in its line's colour.
    [[nodiscard]] std::vector<TReadoutLine> ReadoutLinesAt(int x) const;

signals:
    // The marks changed: one added, renamed or deleted, another recording's, or the session's
    // that can no longer be changed.
    void Changed();

private:
    void PlaceMarker();
    void KeepText();
    void CloseInput();
    void Redraw();
    void TellSaveFailure();
    [[nodiscard]] std::optional<std::int64_t> FrameToMark() const;

    TChart& chart_;
    // The window's chart goes before this: the lines are taken off a chart still there.
    QPointer<TChart> chartAlive_;
    const telemetry::TFrameTable& frames_;
    const TChartReadout& readout_;
    const TChosenFrame& chosen_;
    chart::TMarkerLines lines_;
    TMarkerModel model_;
    std::vector<telemetry::TMark> marks_; // as drawn
    std::optional<std::int64_t> menuFrame_;
    int editing_ = 0; // the marker the input names
    bool toldFailure_ = false;
};
