#pragma once

// Writing the chart page out of the window: the chart's picture as a PNG, and the frames of
// its visible range in the recording tool's CSV form. Reached by keyboard shortcut and by a
// small menu on a right click that does not scroll (on the chart or on the tab strip).

#include "telemetry/FrameTable.h"
#include "ui/reading/ComparedOnChart.h"
#include "ui/shell/FileDialogs.h"
#include "widgets/chart/Chart.h"

#include <QImage>
#include <QObject>
#include <QPoint>
#include <QRect>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QTabBar;

// The message of a file that cannot be written, whatever the reason.
inline constexpr char ExportWriteError[] = "Ошибка записи файла";

// One entry of the legend row under the chart's written picture, in the row's coordinates:
// a swatch of the series' colour, then the text.
struct TLegendEntry {
    TColor Colour;
    QString Text;
    QRect Swatch;
    QRect TextBox;
};

// The legend row: each switched-on series of 0 to 5 by its caption, with its unit and the
// scale it is plotted at where that is not 1 ("ДАД ×10", "УОЗ, ° ×100"), side by side from
// the plot's left edge.
[[nodiscard]] std::vector<TLegendEntry> LegendRow(const TChart& chart,
                                                  const std::array<QString, 6>& captions);
[[nodiscard]] int LegendRowHeight();

// The chart's picture as it is on screen (current ranges, switched series, without the
// controls over it), with the legend row under it when any series is switched on.
[[nodiscard]] QImage ChartPicture(TChart& chart, const std::array<QString, 6>& captions);

// Writes ChartPicture to path as a PNG. Writes to a temporary file beside path and renames
// it, so a failure leaves path as it was; raises std::runtime_error(ExportWriteError) then.
void WriteChartPicture(TChart& chart, const std::array<QString, 6>& captions, const QString& path);

// Writes the completed frames of frames, the frame table of what chart shows, whose X lies in
// the chart's visible horizontal range to path, in the columns and number forms of
// "telmira-dcc csv". Fails as WriteChartPicture does. With seconds, a last column headed time:
// each frame's seconds from the start, three decimals.
void WriteVisibleFramesCsv(TChart& chart, const telemetry::TFrameTable& frames, const QString& path,
                           const std::function<double(std::int64_t frame)>& seconds = {});

// The same with the compared recording's columns beside them, named with a "b_" in front:
// a line for each place of the visible range where either recording has a completed frame,
// the compared recording's frame there being the one its shift puts there; the columns of a
// recording without a frame there are left empty.
void WriteVisibleFramesCsv(TChart& chart, const telemetry::TFrameTable& frames,
                           const TComparedOnChart& compared, const QString& path);

// Writes text to path whole under a temporary name, renamed onto path at the end. Fails as
// WriteChartPicture does.
void WriteTextFile(const QString& path, const std::string& text);

class TChartExport : public QObject {
    Q_OBJECT
public:
    // The actions' shortcuts work anywhere in window; the menu comes up over chart and tabs.
    // captions name series 0 to 5 in the picture's legend.
    TChartExport(QWidget& window, TChart& chart, const telemetry::TFrameTable& frames,
                 QTabBar& tabs, TFileDialogs& dialogs, const std::array<QString, 6>& captions);

    QAction* SavePicture; // "Сохранить изображение графика…"
    QAction* ExportCsv;   // "Экспорт в CSV…"
    // "Экспорт в CSV с записью для сравнения…": enabled while a recording is compared.
    QAction* ExportComparedCsv;
    QMenu* Menu;

    // Whether the CSV export adds the frames' times as a column, and their seconds.
    std::function<bool()> WithTimes;
    std::function<double(std::int64_t frame)> FrameSeconds;

    TFileDialog PictureDialog;
    TFileDialog CsvDialog;

    // Ask for a file and write it; a failure is shown in the error box.
    void SavePictureClick();
    void ExportCsvClick();
    void ExportComparedCsvClick();

    // The recording compared with the chart's, which the second CSV export writes beside it.
    void SetCompared(const std::optional<TComparedOnChart>& compared);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Export(TFileDialog& dialog, const std::function<void(const QString&)>& write);

    QWidget& window_;
    TChart& chart_;
    const telemetry::TFrameTable& frames_;
    TFileDialogs& dialogs_;
    std::array<QString, 6> captions_;
    std::optional<QPoint> rightPressedAt_;
    std::optional<TComparedOnChart> compared_;
};
