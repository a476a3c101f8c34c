#pragma once

// The program's one window: the port strip with the two command buttons, and the tab control
// with the chart page, the instruments page and the analysis page.

#include "telemetry/FrameTable.h"
#include "telemetry/Telemetry.h"
#include "ui/shell/FileDialogs.h"
#include "ui/window/UpDown.h"
#include "widgets/chart/Chart.h"

#include <QTimer>
#include <QWidget>

#include <memory>
#include <string>

class QCheckBox;
class QDragEnterEvent;
class QDropEvent;
class QMimeData;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class TAnalysisPage;
class TChartExport;
class TChartPlot;
class TChartReadout;
class TChartSelection;
class TChosenFrame;
class TComparedRecording;
class TInstrumentsPage;
class TSettings;
class TChartMarkers;
class TMarkersDialog;
class TTimeAxis;
namespace telemetry {
class TLiveSession;
}

// The window's caption while no file has been recorded or viewed.
inline constexpr char MainCaption[] = "TELMIRA ver 1.6";

class TfrmUprZagig : public QWidget {
    Q_OBJECT
public:
    // values: the record the decoder fills and the gauges read; dialogs: how OpenDialog1 and
    // SaveDialog1 are shown. Both outlive the window.
    TfrmUprZagig(telemetry::TLatestValues& values, TFileDialogs& dialogs,
                 QWidget* parent = nullptr);
    ~TfrmUprZagig() override;

    // The caption naming the file recorded or viewed last: MainCaption + " - " + full path.
    void ShowFileInCaption(const QString& path);

    // The complete frames of the recording the chart shows, viewed or being recorded with
    // plotting: row k is the frame plotted at X = k. Cleared with the chart's series.
    [[nodiscard]] const telemetry::TFrameTable& Frames() const noexcept { return frames_; }

    // Shows the port number and brings to the front the page that settings remember, and
    // from now on remembers there the port of each session opened and the page brought to the
    // front. settings outlives the window.
    void RememberIn(TSettings& settings);

    // Top strip.
    QLabel* Label1;
    QLineEdit* edtPortNumber;
    TUpDown* updPort; // Position() is the port number, 1 to 25
    QPushButton* btnOpenPort;
    QPushButton* btnOpenF_DCC;

    QTabWidget* PageControl1;
    QWidget* TabSheet1;          // "График"
    TInstrumentsPage* TabSheet2; // "Приборы"
    TAnalysisPage* TabSheet3;    // "Анализ"

    // Chart page: the chart, and over its bottom strip the series switches.
    TChart* Chart1;
    QLabel* Label3;
    QCheckBox* chkoborot;
    QCheckBox* chkdad;
    QCheckBox* chknkr;
    QCheckBox* chktemp;
    QCheckBox* chkok;
    QCheckBox* chkuoz;
    // Over the chart: the values at the pointer and the marker of the frame the gauges show.
    TChartReadout* ChartReadout;
    // The frame of a replayed recording the gauges show; a live session takes them back.
    TChosenFrame* ChosenFrame;
    // The chart's picture and its visible frames written out, by shortcut or context menu.
    TChartExport* ChartExport;
    // Frame numbers or time on the bottom axis, and the frames' times.
    TTimeAxis* TimeAxis;
    TChartMarkers* ChartMarkers;
    TMarkersDialog* MarkersDialog; // "Метки"
    // The frames selected with Shift and a left drag, shaded, and their figures over the plot.
    TChartSelection* ChartSelection;
    // A second recording beside the one on the chart, opened from its context menu.
    TComparedRecording* ComparedRecording;

    // Under the pages: the state and counts of the live session's link.
    QLabel* lblLinkStatus;

    TFileDialog OpenDialog1;
    TFileDialog SaveDialog1;

    void FormCreate();
    // Opens a live session when the button reads "Открыть порт и файл", otherwise closes
    // it. A port that cannot be opened, or a recording that cannot be closed, is shown in
    // the error box.
    void btnOpenPortClick();
    // Replays a recording chosen with OpenDialog1 onto series 0 to 5. When the file cannot
    // be opened, mapped or viewed, the error box shows the viewer's message; the chart is
    // cleared by then and the caption stays as it was.
    void btnOpenF_DCCClick();
    // The viewer's steps for a file already chosen, as if OpenDialog1 had returned path
    // (made absolute): the same replay, messages and caption, and the dialog offers the
    // file next time. A replay that takes a while shows its progress and stops at Esc. The
    // caption names the file whenever the chart shows any of it: read whole, stopped, cut
    // short under the replay, or too long for the chart (the last two raise). The status
    // line then says what was read.
    void OpenRecording(const QString& path);
    // OpenRecording once the event loop runs, so that its failures reach the error box as
    // the button's do: how the program opens the file named on its command line.
    void OpenRecordingWhenRunning(const QString& path);
    void chkoborotClick();
    void chkdadClick();
    void chknkrClick();
    void chktempClick();
    void chkokClick();
    void chkuozClick();

protected:
    // Builds the port box's tooltip when it is asked for, from the ports present then.
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A single ".dcc" file dropped on the window is viewed as if chosen in OpenDialog1;
    // drops are refused while a live session is open, as the viewer's button is disabled.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    [[nodiscard]] QString DroppedRecording(const QMimeData& data) const;
    // OpenRecording with its failures shown in the error box, as the button's are, and the
    // file named under them; a missing file or a folder is said to be one.
    void OpenRecordingShowingFailures(const QString& path);
    void OpenSession();
    void ShowSessionError(const std::string& message);
    void CloseSession();
    void ViewRecording();
    void SwitchSeries(int position, const QCheckBox& box);
    void ShowLinkStatus();
    // Takes the focus from the port box to the chart once a recording or session is on it.
    void KeysToChart();
    // The gauges back on the latest values: no frame chosen, none to choose.
    void ShowLatestOnGauges();
    void ShowChosenFrame(std::int64_t frame);
    // A viewed recording's first marker wrote its companion: the status line says it now holds
    // markers only, no longer that there is none.
    void ShowCompanionWritten();

    telemetry::TLatestValues& values_;
    TFileDialogs& dialogs_;
    telemetry::TFrameTable frames_;
    std::unique_ptr<TChartPlot> livePlot_;
    std::unique_ptr<telemetry::TLiveSession> session_; // while a live session is open
    QTimer linkStatusTimer_;                           // refreshes lblLinkStatus meanwhile
    int sessionPort_ = 0;                              // the port number of the session
    TSettings* settings_ = nullptr;                    // where the port is remembered
    // The viewed recording's status line up to its times, and its companion while there is none.
    QString viewedStatus_;
    QString missingCompanion_;
};
