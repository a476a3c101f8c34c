#pragma once

// Writing the chart page out of the window: the chart's picture as a PNG, and the frames of
// its visible range in the recording tool's CSV form. Reached by keyboard shortcut and by a
// small menu on a right click that does not scroll (on the chart or on the tab strip).

#include "telemetry/FrameTable.h"
#include "ui/shell/FileDialogs.h"
#include "widgets/chart/Chart.h"

#include <QObject>
#include <QPoint>

#include <functional>
#include <optional>

class QAction;
class QMenu;
class QTabBar;

// The message of a file that cannot be written, whatever the reason.
inline constexpr char ExportWriteError[] = "Ошибка записи файла";

// Writes the chart's picture as it is on screen (current ranges, switched series, without
// the controls over it) to path as a PNG. Writes to a temporary file beside path and renames
// it, so a failure leaves path as it was; raises std::runtime_error(ExportWriteError) then.
void WriteChartPicture(TChart& chart, const QString& path);

// Writes the completed frames of frames, the frame table of what chart shows, whose X lies in
// the chart's visible horizontal range to path, in the columns and number forms of
// "telmira-dcc csv". Fails as WriteChartPicture does.
void WriteVisibleFramesCsv(TChart& chart, const telemetry::TFrameTable& frames,
                           const QString& path);

class TChartExport : public QObject {
    Q_OBJECT
public:
    // The actions' shortcuts work anywhere in window; the menu comes up over chart and tabs.
    TChartExport(QWidget& window, TChart& chart, const telemetry::TFrameTable& frames,
                 QTabBar& tabs, TFileDialogs& dialogs);

    QAction* SavePicture; // "Сохранить изображение графика…"
    QAction* ExportCsv;   // "Экспорт в CSV…"
    QMenu* Menu;

    TFileDialog PictureDialog;
    TFileDialog CsvDialog;

    // Ask for a file and write it; a failure is shown in the error box.
    void SavePictureClick();
    void ExportCsvClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Export(TFileDialog& dialog, const std::function<void(const QString&)>& write);

    QWidget& window_;
    TChart& chart_;
    const telemetry::TFrameTable& frames_;
    TFileDialogs& dialogs_;
    std::optional<QPoint> rightPressedAt_;
};
