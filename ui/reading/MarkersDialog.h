#pragma once

// The list "Метки", opened from the chart's menu or with Ctrl+M: the recording's markers and
// its session's events by where they stand, each with its frame and time. Enter or a double
// click goes to one as a click on the chart would choose its frame (during a live session,
// where nothing is chosen, a zoomed chart scrolls to it as a scroll by hand would); F2 or
// "Переименовать" edits a marker's text, Delete or "Удалить" deletes it, each change saved as
// the chart's markers are. The list follows every change while it is open. Its rows are
// telemetry/MarkerRows.h's.

#include "telemetry/MarkerRows.h"
#include "ui/reading/ChartMarkers.h"
#include "ui/reading/ChosenFrame.h"

#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class QAction;
class QCheckBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;
class TMarkerTextEditor;

class TMarkersDialog : public QDialog {
    Q_OBJECT
public:
    enum TColumn { NumberColumn, FrameColumn, TimeColumn, TextColumn, KindColumn, Columns };

    // The action works anywhere in window.
    TMarkersDialog(QWidget& window, TChartMarkers& markers, TChosenFrame& chosen);
    ~TMarkersDialog() override;

    QAction* Open; // "Метки…", Ctrl+M
    QTableWidget* Table;
    QCheckBox* ShowEvents;
    QPushButton* RenameButton;
    QPushButton* DeleteButton;
    QLabel* Note;
    // A frame's time as the readout shows it.
    std::function<QString(std::int64_t frame)> FrameTime;

    [[nodiscard]] const std::vector<telemetry::TMarkerRow>& Rows() const noexcept { return rows_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Fill();
    [[nodiscard]] std::optional<std::size_t> ChosenRow() const;
    // A marker of a recording viewed or being recorded; those a closed session left stand.
    [[nodiscard]] bool Changeable(const telemetry::TMarkerRow& row) const;
    void GoTo(int row);
    void TextEdited(QTableWidgetItem* item);
    void RenameChosen();
    void DeleteChosen();
    void ShowButtons();

    TChartMarkers& markers_;
    TChosenFrame& chosen_;
    TMarkerTextEditor* textEditor_;
    std::vector<telemetry::TMarkerRow> rows_;
    bool filling_ = false;
    bool editing_ = false; // a marker's text
    bool stale_ = false;   // the rows, once the text is edited
};
