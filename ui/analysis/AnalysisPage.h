#pragma once

// The "Анализ" page: the recording's frames on an XY plot (engine speed against advance by
// default), every frame counted and shaded by how many fall on a pixel or coloured by a third
// quantity, the expected curves with their band and the frames outside it per curve, the
// page's filters, and a click that chooses the frame nearest the pointer as a click on the
// chart does. The rules are the analysis library's; the page only wires them to the screen.

#include "analysis/Band.h"
#include "analysis/Density.h"
#include "analysis/ExpectedAdvance.h"
#include "analysis/ExpectedCurves.h"
#include "analysis/Extent.h"
#include "telemetry/FrameTable.h"
#include "ui/analysis/AnalysisItems.h"
#include "ui/reading/ComparedOnChart.h"
#include "ui/shell/FileDialogs.h"
#include "widgets/chart/XYPlot.h"

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <array>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class TChart;
class TChosenFrame;
class TFrameMarks;
class TTableView;
class TSettings;

// A strip beside the plot with a colour ramp from its low end at the bottom to its high end
// at the top, and the values at both ends.
class TShadeScale : public QWidget {
    Q_OBJECT
public:
    explicit TShadeScale(QWidget* parent = nullptr);
    // shade(share) gives the colour at share 0 (low) to 1 (high); none leaves the strip blank.
    void Show(const QString& caption, const QString& low, const QString& high,
              std::function<QRgb(double)> shade);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString caption_, low_, high_;
    std::function<QRgb(double)> shade_;
};

// What the curve list of the filter means: "1, 3-5" the curve numbers 1, 3, 4 and 5, empty or
// "все" every curve; none for a text that is no such list.
[[nodiscard]] std::optional<std::bitset<256>> CurveList(const QString& text);

class TAnalysisPage : public QWidget {
    Q_OBJECT
public:
    // The page reads frames, the frame table of what chart shows, and chooses frames through
    // chosen; all three and dialogs outlive it.
    TAnalysisPage(const telemetry::TFrameTable& frames, TChart& chart, TChosenFrame& chosen,
                  TFileDialogs& dialogs, QWidget* parent = nullptr);
    ~TAnalysisPage() override;

    // The frame table was cleared (a new recording or session): counted anew.
    void RecordingChanged();
    // The recording compared, B, opened, shifted or closed (none): its frames drawn under A's
    // in their own colour, aligned by the shift where the page takes the chart's range, and
    // in the table. B's frame table outlives its use here. While the page is hidden, B is
    // taken in when it is shown.
    void SetCompared(std::optional<TComparedOnChart> compared);
    // Puts back the choices and curves remembered in settings, and remembers them there from
    // now on; settings outlives the page.
    void RememberIn(TSettings& settings);

    // Replaces the expected curves, as loading a curve file does.
    void SetCurves(const analysis::TExpectedCurves& curves);
    [[nodiscard]] const analysis::TExpectedCurves& Curves() const noexcept { return curves_; }
    // The frames of each curve inside and outside the band, as the page shows them.
    [[nodiscard]] std::vector<analysis::TCurveBand> BandCounts() const;
    // The plot with its scales as on screen.
    [[nodiscard]] QImage Picture();
    // Writes Picture to path as a PNG; raises std::runtime_error when that fails.
    void WritePicture(const QString& path);

    // Views beside each other: the plot is the first.
    QStackedWidget* Views;
    TXYPlot* Plot;
    TTableView* Table;  // the second view: the frames binned by engine speed and MAP
    QComboBox* cmbView; // "Точки XY" or "Таблица"
    TShadeScale* DensityScale;
    TShadeScale* ColourScale;
    QComboBox* cmbX;
    QComboBox* cmbY;
    QComboBox* cmbColour;
    QLineEdit* edtCurves;
    QComboBox* cmbRange;
    QLineEdit* edtRangeFrom;
    QLineEdit* edtRangeTo;
    QCheckBox* chkChartRange;
    QDoubleSpinBox* spnTolerance;
    QCheckBox* chkDeviation;
    QPushButton* btnLoadCurves;
    QPushButton* btnSaveCurves;
    QPushButton* btnEditCurves;
    QPushButton* btnSavePicture;
    QLabel* lblBand;
    QLabel* lblCompared; // what B's colour means, while B is open
    QLabel* lblFilterError;

    TFileDialog CurvesOpenDialog;
    TFileDialog CurvesSaveDialog;
    TFileDialog PictureDialog;

    void btnLoadCurvesClick();
    void btnSaveCurvesClick();
    void btnEditCurvesClick();
    void btnSavePictureClick();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // The choices on the controls, made into the density's, band's and curves' choices.
    void ApplyChoices();
    void ApplyExtents();
    void CountBand();
    void ShowBand();
    void ShowScales();
    void Remember();
    void Refresh(); // the timer: new frames, the chart's range, the chosen frame
    void ClickAt(QPoint p);
    [[nodiscard]] analysis::TFrameRange ChartRange() const;

    const telemetry::TFrameTable& frames_;
    TChart& chart_;
    TChosenFrame& chosen_;
    TFileDialogs& dialogs_;
    TSettings* settings_ = nullptr;

    analysis::TExpectedCurves curves_;
    std::unique_ptr<analysis::TExpectedAdvance> expected_;
    std::unique_ptr<analysis::TBandCounts> band_;
    analysis::TDensityLayout layout_;
    std::array<std::optional<analysis::TValueExtent>, 3> extents_; // X, Y, colour
    std::int64_t extentsCounted_ = 0;
    bool restoring_ = false;

    analysis_view::TDensityItem density_;
    analysis_view::TCurvesItem curvesItem_;
    analysis_view::TChosenItem chosenItem_;
    std::optional<TComparedOnChart> compared_;
    std::optional<TComparedOnChart> pendingCompared_;              // told while the page was hidden
    std::unique_ptr<analysis_view::TDensityItem> comparedDensity_; // B's frames, while open
    QTimer refreshTimer_;
    TFrameMarks* marks_;
};
