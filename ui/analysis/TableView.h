#pragma once

// The table view of the "Анализ" page: a quantity binned by engine speed (rows) and MAP
// (columns), each cell showing the chosen statistic, shaded by value against a scale, greyed
// where it holds fewer frames than the threshold. The bins, the quantity and the statistic are
// chosen on the view and remembered; a click on a cell gives its frames to mark on the chart;
// the table is written out as CSV. The rules are the analysis library's (BinnedTable.h).

#include "analysis/BinnedTable.h"
#include "analysis/ExpectedAdvance.h"
#include "telemetry/FrameTable.h"
#include "ui/reading/ComparedOnChart.h"
#include "ui/shell/FileDialogs.h"

#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class TSettings;
class TShadeScale;

// The colour of a cell whose value lies at share (0 the lowest shown, 1 the highest) of the
// scale: light blue through light yellow to light red, dark text reading on each.
[[nodiscard]] QRgb TableShade(double share) noexcept;
inline constexpr QRgb TableGreyed = 0xFFD4D4D4;

// Engine-speed bins as the user types them, "FROM:TO:STEP" in об/мин (the recording tool's
// --speed-bins); none for a text that is no such triple or breaks the bins' rules.
[[nodiscard]] std::optional<analysis::TSpeedBins> SpeedBinsTyped(const QString& text);

// The cells drawn: row and column headers, one cell per bin, the chosen cell outlined.
class TTableGrid : public QWidget {
    Q_OBJECT
public:
    static constexpr int RowHeight = 16;

    explicit TTableGrid(QWidget* parent = nullptr);
    // table outlives its showing here; none shows nothing. With minus, a table of the same
    // bins, each cell shows table's statistic minus minus' (analysis::Difference), greyed
    // where either has fewer frames than the threshold, shaded on a scale even about 0.
    void Show(const analysis::TBinnedTable* table, analysis::TStatistic statistic,
              std::int64_t threshold, const analysis::TBinnedTable* minus = nullptr);
    // What a cell shows; none where it is empty.
    [[nodiscard]] std::optional<double> Value(int row, int column) const;
    // The cell under a point of the widget; none outside the cells.
    [[nodiscard]] std::optional<std::pair<int, int>> CellAt(QPoint p) const;
    [[nodiscard]] QRect CellRect(int row, int column) const;
    // The lowest and highest value among the cells shaded (those at the threshold or above);
    // of a difference, the largest size either way, as -size and size.
    [[nodiscard]] std::optional<std::pair<double, double>> Extent() const { return extent_; }
    std::optional<std::pair<int, int>> Chosen;

signals:
    void CellClicked(int row, int column);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    // The frames a cell's shading goes by: the fewer of both tables' in a difference.
    [[nodiscard]] std::int64_t Frames(int row, int column) const;

    const analysis::TBinnedTable* table_ = nullptr;
    const analysis::TBinnedTable* minus_ = nullptr;
    analysis::TStatistic statistic_ = analysis::TStatistic::Mean;
    std::int64_t threshold_ = 10;
    std::optional<std::pair<double, double>> extent_;
    // The row headers' column: room for the widest row's edges and the corner's caption whole.
    int headerWidth_;
};

class TTableView : public QWidget {
    Q_OBJECT
public:
    static constexpr int RefreshMilliseconds = 100; // a live session's table, ten times a second

    // frames and dialogs outlive the view.
    TTableView(const telemetry::TFrameTable& frames, TFileDialogs& dialogs,
               QWidget* parent = nullptr);
    ~TTableView() override;

    // The page's filter and expected curves (for the deviation; none without curves, which
    // outlive their use here).
    void SetFilter(const analysis::TFrameFilter& filter,
                   const analysis::TExpectedAdvance* expected);
    // The frame table was cleared: counted anew.
    void RecordingChanged();
    // The recording compared, B, opened, shifted or closed (none): its own table, with the
    // page's filter aligned by the shift, to show instead of A's or subtracted from it. B's
    // frame table outlives its use here.
    void SetCompared(std::optional<TComparedOnChart> compared);
    void RememberIn(TSettings& settings);

    [[nodiscard]] const analysis::TBinnedTable* Table() const noexcept { return table_.get(); }
    [[nodiscard]] const analysis::TBinnedTable* ComparedTable() const noexcept {
        return comparedTable_.get();
    }
    [[nodiscard]] analysis::TStatistic Statistic() const;
    // The frames of a cell, in order, as the table counted them; shown B's table, B's frames
    // where they stand among A's.
    [[nodiscard]] std::vector<std::int64_t> CellFrames(int row, int column) const;
    // Counts the frames that came since the last count.
    void Refresh();
    // Writes analysis::TableCsv of the table shown to path, or analysis::DifferenceCsv where
    // the difference is shown; raises std::runtime_error when that fails.
    void WriteCsv(const QString& path) const;

    QComboBox* cmbQuantity;
    QComboBox* cmbStatistic;
    QComboBox* cmbCompared; // "Запись", "Для сравнения" or "Разница", while B is open
    QLineEdit* edtSpeedBins;
    QSpinBox* spnMapBins;
    QSpinBox* spnThreshold;
    QPushButton* btnExportTable; // "Экспорт таблицы в CSV…"
    QLabel* lblTableError;
    TTableGrid* Grid;
    TShadeScale* Scale;
    TFileDialog CsvDialog;

signals:
    // A cell was clicked: its frames, in order.
    void CellChosen(const std::vector<std::int64_t>& frames);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    enum class TShown { Recording, Compared, Difference };
    [[nodiscard]] TShown Shown() const;
    void ApplyChoices();
    void Rebuild();
    void CountCompared();
    void ShowTable();
    void Remember();
    void ExportClick();

    const telemetry::TFrameTable& frames_;
    TFileDialogs& dialogs_;
    TSettings* settings_ = nullptr;
    analysis::TTableLayout spec_;
    const analysis::TExpectedAdvance* expected_ = nullptr;
    std::unique_ptr<analysis::TBinnedTable> table_;
    std::optional<TComparedOnChart> compared_;
    std::unique_ptr<analysis::TBinnedTable> comparedTable_; // B's, while open
    bool restoring_ = false;
    QTimer refreshTimer_;
};
