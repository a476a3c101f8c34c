#pragma once

// Markers on a replayed recording: key M, or "Поставить метку" in the chart's menu, marks the
// chosen frame (else the frame under the pointer); a small input under the top of the plot
// then takes an optional text (Enter keeps it, Esc leaves the marker without one). Markers are
// drawn as thin lines with their numbers, and each change goes into the recording's companion
// at once. Where that fails (a read-only folder) the markers stay for as long as the recording
// is shown, and the status line says so.

#include "telemetry/FrameTable.h"
#include "telemetry/ViewedMarkers.h"
#include "ui/reading/ChartReadout.h"
#include "ui/reading/ChosenFrame.h"
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

    // The action works anywhere in window; the frames are those chart shows.
    TChartMarkers(QWidget& window, TChart& chart, const telemetry::TFrameTable& frames,
                  const TChartReadout& readout, const TChosenFrame& chosen);
    ~TChartMarkers() override;

    QAction* Place; // "Поставить метку", M
    QLineEdit* Input;
    // Shows a text on the status line.
    std::function<void(const QString&)> Tell;

    // The frame under the pointer as the menu comes up, for Place from the menu.
    void WatchMenu(QMenu& menu);

    // A replayed recording, with its times as read when it was opened.
    void View(const QString& path, const telemetry::TRecordingTimes& times);
    // The recording is no longer shown (a live session starts): no markers, none set.
    void Stop();

    [[nodiscard]] std::vector<telemetry::TMarker> Markers() const;
    // The session's events of the recording shown.
    [[nodiscard]] const std::vector<telemetry::TSessionEvent>& Events() const noexcept {
        return events_;
    }
    // Change a marker as the list "Метки" asks; false for a number not shown.
    bool Rename(int number, const QString& text);
    bool Delete(int number);
    // Why the markers' changes are not saved, as the status line says it; none once they are.
    [[nodiscard]] std::optional<QString> SaveFailure() const;

signals:
    // A marker was set, changed or deleted, or another recording is shown.
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
    std::optional<telemetry::TViewedMarkers> viewed_;
    std::vector<telemetry::TSessionEvent> events_;
    std::optional<std::int64_t> menuFrame_;
    int editing_ = 0; // the marker the input names
    bool toldFailure_ = false;
};
