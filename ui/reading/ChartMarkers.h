#pragma once

// Markers on the chart page: key M, or "Поставить метку" in the chart's menu, marks the
// newest frame of a live session, or the chosen frame of a replayed recording (else the frame
// under the pointer); a small input under the top of the plot then takes an optional text
// (Enter keeps it, Esc leaves the marker without one). Markers are drawn as thin lines with
// their numbers, and kept in the recording's companion: a live session's writes them as it
// records, a viewed recording's gets each change at once. Where that fails (a read-only
// folder) the markers stay for as long as the recording is shown, and the status line says so.

#include "telemetry/CompanionWriter.h"
#include "telemetry/FrameTable.h"
#include "telemetry/ViewedMarkers.h"
#include "ui/reading/ChartReadout.h"
#include "ui/reading/ChosenFrame.h"
#include "widgets/chart/Chart.h"
#include "widgets/chart/ChartMarkerLines.h"

#include <QObject>
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
    // A live session, whose companion is kept alive until Stop.
    void Live(telemetry::TCompanionWriter& companion);
    // The session closed or the recording is no longer shown: markers are drawn as they stand
    // and no more are set.
    void Stop();

    [[nodiscard]] std::vector<telemetry::TMarker> Markers() const;

private:
    void PlaceMarker();
    void KeepText();
    void CloseInput();
    void Redraw();
    void TellSaveFailure();
    [[nodiscard]] std::optional<std::int64_t> FrameToMark() const;

    TChart& chart_;
    const telemetry::TFrameTable& frames_;
    const TChartReadout& readout_;
    const TChosenFrame& chosen_;
    chart::TMarkerLines lines_;
    std::optional<telemetry::TViewedMarkers> viewed_;
    telemetry::TCompanionWriter* live_ = nullptr;
    std::optional<std::int64_t> menuFrame_;
    int editing_ = 0; // the marker the input names
    bool toldFailure_ = false;
};
