#pragma once

// One axis of a chart: its persistent properties, whose setters reject inconsistent values
// and tell the axis' owner on a real change, and the placement that every layout recomputes
// (range, pixel span, band positions).

#include "widgets/chart/ChartLabels.h"
#include "widgets/chart/ChartOwner.h"
#include "widgets/chart/ChartPen.h"
#include "widgets/chart/ChartRules.h"

#include <QFont>
#include <QHash>
#include <QString>

#include <memory>
#include <stdexcept>

class AxisException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class TAxisLabelStyle { talAuto, talNone, talValue, talMark, talText };

// A pen of an axis part or a wall.
struct TAxisPen {
    bool Visible = true;
    TColor Color = 0x000000;
    int Width = 1;
    TChartPen::Style Style = TChartPen::Style::psSolid;
    bool operator==(const TAxisPen&) const = default;
};

struct TAxisTitle {
    QString Caption;
    QFont Font;
    int Angle = 0;
    bool operator==(const TAxisTitle&) const = default;
};

// The ends of an axis and whether they follow the data, as zooming saves and restores them.
struct TAxisScale {
    bool Automatic = true;
    bool AutomaticMinimum = true;
    bool AutomaticMaximum = true;
    double Minimum = 0;
    double Maximum = 0;
    bool operator==(const TAxisScale&) const = default;
};

// Where the last layout put an axis: its map, whether it is drawn, and the bands it takes
// across the plot's edge (a row for a horizontal axis, a column for a vertical one).
struct TAxisPlacement {
    chart::TAxisMap Map;
    bool DateTime = false; // the first active series that uses the axis has date-times on it
    bool Shown = false;
    TAxisLabelStyle LabelStyle = TAxisLabelStyle::talValue; // talAuto resolved
    int AxisLine = 0;
    int LabelPosition = 0; // the labels' edge away from the plot
    int TitlePosition = 0;
};

// The label font every chart text starts with: "Arial" at 8 points, 11 pixels at the
// 96 dots per inch the layout was made for; font matching picks the nearest sans-serif.
[[nodiscard]] QFont ChartDefaultFont();

class TChartAxis {
public:
    explicit TChartAxis(TAxisKind kind, chart::TOwner* owner = nullptr);

    [[nodiscard]] TAxisKind Kind() const noexcept { return kind_; }
    [[nodiscard]] bool Horizontal() const noexcept {
        return kind_ == TAxisKind::Bottom || kind_ == TAxisKind::Top;
    }

    [[nodiscard]] bool Visible() const noexcept { return visible_; }
    void SetVisible(bool v) { Set(visible_, v); }

    [[nodiscard]] bool Automatic() const noexcept { return automatic_; }
    [[nodiscard]] bool AutomaticMinimum() const noexcept { return automaticMinimum_; }
    [[nodiscard]] bool AutomaticMaximum() const noexcept { return automaticMaximum_; }
    void SetAutomatic(bool v);
    void SetAutomaticMinimum(bool v);
    void SetAutomaticMaximum(bool v);

    [[nodiscard]] double Minimum() const noexcept { return minimum_; }
    [[nodiscard]] double Maximum() const noexcept { return maximum_; }
    void SetMinimum(double v); // AxisException when above Maximum
    void SetMaximum(double v); // AxisException when below Minimum
    // Both ends at once: never fails; orders the ends, keeps them at least 1e-10 apart and
    // turns the three automatic flags off.
    void SetMinMax(double minimum, double maximum);

    [[nodiscard]] double Increment() const noexcept { return increment_; }
    void SetIncrement(double v);

    [[nodiscard]] bool Labels() const noexcept { return labels_; }
    void SetLabels(bool v) { Set(labels_, v); }
    [[nodiscard]] bool LabelsOnAxis() const noexcept { return labelsOnAxis_; }
    void SetLabelsOnAxis(bool v) { Set(labelsOnAxis_, v); }
    [[nodiscard]] int LabelsSeparation() const noexcept { return labelsSeparation_; }
    void SetLabelsSeparation(int v);
    [[nodiscard]] int LabelsAngle() const noexcept { return labelsAngle_; }
    void SetLabelsAngle(int v); // 0, 90, 180 or 270; other angles are brought into 0..359
    [[nodiscard]] int LabelsSize() const noexcept { return labelsSize_; }
    void SetLabelsSize(int v) { Set(labelsSize_, v); }
    [[nodiscard]] int TitleSize() const noexcept { return titleSize_; }
    void SetTitleSize(int v) { Set(titleSize_, v); }
    [[nodiscard]] bool LabelsMultiLine() const noexcept { return labelsMultiLine_; }
    void SetLabelsMultiLine(bool v) { Set(labelsMultiLine_, v); }
    [[nodiscard]] const QFont& LabelsFont() const noexcept { return labelsFont_; }
    void SetLabelsFont(const QFont& v) { Set(labelsFont_, v); }
    [[nodiscard]] TAxisLabelStyle LabelStyle() const noexcept { return labelStyle_; }
    void SetLabelStyle(TAxisLabelStyle v) { Set(labelStyle_, v); }
    [[nodiscard]] const QString& AxisValuesFormat() const noexcept { return axisValuesFormat_; }
    void SetAxisValuesFormat(const QString& v) { Set(axisValuesFormat_, v); }
    [[nodiscard]] const QString& DateTimeFormat() const noexcept { return dateTimeFormat_; }
    void SetDateTimeFormat(const QString& v) { Set(dateTimeFormat_, v); }
    [[nodiscard]] bool ExactDateTime() const noexcept { return exactDateTime_; }
    void SetExactDateTime(bool v) { Set(exactDateTime_, v); }
    [[nodiscard]] bool RoundFirstLabel() const noexcept { return roundFirstLabel_; }
    void SetRoundFirstLabel(bool v) { Set(roundFirstLabel_, v); }
    [[nodiscard]] bool Inverted() const noexcept { return inverted_; }
    void SetInverted(bool v) { Set(inverted_, v); }
    [[nodiscard]] bool Logarithmic() const noexcept { return logarithmic_; }
    void SetLogarithmic(bool v) { Set(logarithmic_, v); }
    [[nodiscard]] int LogarithmicBase() const noexcept { return logarithmicBase_; }
    void SetLogarithmicBase(int v) { Set(logarithmicBase_, v); }
    [[nodiscard]] double StartPosition() const noexcept { return startPosition_; }
    void SetStartPosition(double v) { Set(startPosition_, v); }
    [[nodiscard]] double EndPosition() const noexcept { return endPosition_; }
    void SetEndPosition(double v) { Set(endPosition_, v); }
    [[nodiscard]] double PositionPercent() const noexcept { return positionPercent_; }
    void SetPositionPercent(double v) { Set(positionPercent_, v); }
    [[nodiscard]] int TickLength() const noexcept { return tickLength_; }
    void SetTickLength(int v) { Set(tickLength_, v); }
    [[nodiscard]] int TickInnerLength() const noexcept { return tickInnerLength_; }
    void SetTickInnerLength(int v) { Set(tickInnerLength_, v); }
    [[nodiscard]] int MinorTickLength() const noexcept { return minorTickLength_; }
    void SetMinorTickLength(int v) { Set(minorTickLength_, v); }
    [[nodiscard]] int MinorTickCount() const noexcept { return minorTickCount_; }
    void SetMinorTickCount(int v) { Set(minorTickCount_, v); }
    [[nodiscard]] bool TickOnLabelsOnly() const noexcept { return tickOnLabelsOnly_; }
    void SetTickOnLabelsOnly(bool v) { Set(tickOnLabelsOnly_, v); }

    [[nodiscard]] const TAxisPen& AxisPen() const noexcept { return axisPen_; }
    void SetAxisPen(const TAxisPen& v) { Set(axisPen_, v); }
    [[nodiscard]] const TAxisPen& Ticks() const noexcept { return ticks_; }
    void SetTicks(const TAxisPen& v) { Set(ticks_, v); }
    [[nodiscard]] const TAxisPen& TicksInner() const noexcept { return ticksInner_; }
    void SetTicksInner(const TAxisPen& v) { Set(ticksInner_, v); }
    [[nodiscard]] const TAxisPen& MinorTicks() const noexcept { return minorTicks_; }
    void SetMinorTicks(const TAxisPen& v) { Set(minorTicks_, v); }
    [[nodiscard]] const TAxisPen& Grid() const noexcept { return grid_; }
    void SetGrid(const TAxisPen& v) { Set(grid_, v); }
    [[nodiscard]] const TAxisPen& MinorGrid() const noexcept { return minorGrid_; }
    void SetMinorGrid(const TAxisPen& v) { Set(minorGrid_, v); }
    [[nodiscard]] const TAxisTitle& Title() const noexcept { return title_; }
    void SetTitle(const TAxisTitle& v) { Set(title_, v); }

    [[nodiscard]] TAxisScale Scale() const noexcept {
        return {automatic_, automaticMinimum_, automaticMaximum_, minimum_, maximum_};
    }
    // Puts back a scale as Scale gave it, without the checks of the single setters.
    void SetScale(const TAxisScale& scale);

    // The placement of the last layout.
    [[nodiscard]] const TAxisPlacement& Placement() const noexcept { return placement_; }
    [[nodiscard]] const chart::TAxisMap& Map() const noexcept { return placement_.Map; }
    [[nodiscard]] bool IsDateTime() const noexcept { return placement_.DateTime; }
    [[nodiscard]] int AxisLinePosition() const noexcept { return placement_.AxisLine; }
    [[nodiscard]] int LabelPosition() const noexcept { return placement_.LabelPosition; }
    [[nodiscard]] int TitlePosition() const noexcept { return placement_.TitlePosition; }
    // Whether the last layout drew the axis (see TChart::AxisShown).
    [[nodiscard]] bool Shown() const noexcept { return placement_.Shown; }

    [[nodiscard]] double CalcXPosValue(double value) const noexcept { return Map().ToPixel(value); }
    [[nodiscard]] double CalcPosPoint(int pixel) const noexcept { return Map().ToValue(pixel); }

    // The layout's part: the data's range sets the automatic ends (quietly: the redraw that
    // lays the axis out is the one that shows them), and the placement found for them.
    void TakeDataRange(double low, double high) noexcept;
    void Place(const TAxisPlacement& placement) noexcept { placement_ = placement; }

    // What writes the labels: values, unless another engine (a time of day, ...) is set;
    // none sets values again.
    [[nodiscard]] const chart::TLabelEngine& LabelEngine() const noexcept;
    // What the engine is told of this axis: its map and the properties its labels follow.
    [[nodiscard]] chart::TLabelScale LabelScale() const noexcept {
        return {Map(),          IsDateTime(),      exactDateTime_,
                increment_,     labelsSeparation_, axisValuesFormat_,
                dateTimeFormat_};
    }
    void SetLabelEngine(std::shared_ptr<const chart::TLabelEngine> engine);
    // The text of a label for value, as the engine writes it (values in this axis' format
    // and the current locale), broken into lines when LabelsMultiLine.
    [[nodiscard]] QString LabelText(double value) const;
    // The label step on an axis `length` pixels long: as many labels as fit, the range's
    // ends measured, with LabelsSeparation between them.
    [[nodiscard]] double LabelStep(int length) const;
    // The room value labels take across the axis: the wider of the labels at the range's
    // ends (rounded to the step when the walk rounds its labels), and a blank.
    [[nodiscard]] int WidestLabel() const;
    // The width of a label's text (its widest line) in LabelsFont. Measuring shapes the
    // text, which costs more than a redraw can spare on every label: widths are kept until
    // a property changes.
    [[nodiscard]] int LabelWidth(const QString& text) const;
    // How far a label's text reaches along the axis: its width on a horizontal axis, its
    // lines' height on a vertical one, the other way round when turned across the axis.
    [[nodiscard]] int LabelExtent(const QString& text) const;

private:
    template <typename T> void Set(T& field, const T& value) {
        if (field == value)
            return;
        field = value;
        Changed();
    }
    void Changed();

    TAxisKind kind_;
    chart::TOwner* owner_;

    bool visible_ = true;
    bool automatic_ = true;
    bool automaticMinimum_ = true;
    bool automaticMaximum_ = true;
    double minimum_ = 0;
    double maximum_ = 0;
    double increment_ = 0;
    bool labels_ = true;
    bool labelsOnAxis_ = true;
    int labelsSeparation_ = 10;
    int labelsAngle_ = 0;
    int labelsSize_ = 0;
    int titleSize_ = 0;
    bool labelsMultiLine_ = false;
    QFont labelsFont_;
    mutable QHash<QString, int> labelWidths_;
    TAxisLabelStyle labelStyle_ = TAxisLabelStyle::talAuto;
    std::shared_ptr<const chart::TLabelEngine> labelEngine_;
    QString axisValuesFormat_ = QStringLiteral("#,##0.###");
    QString dateTimeFormat_;
    bool exactDateTime_ = true;
    bool roundFirstLabel_ = true;
    bool inverted_ = false;
    bool logarithmic_ = false;
    int logarithmicBase_ = 10;
    double startPosition_ = 0;
    double endPosition_ = 100;
    double positionPercent_ = 0;
    int tickLength_ = 4;
    int tickInnerLength_ = 0;
    int minorTickLength_ = 2;
    int minorTickCount_ = 3;
    bool tickOnLabelsOnly_ = true;
    TAxisPen axisPen_{true, 0x000000, 2};
    TAxisPen ticks_{true, 0x808080, 1};
    TAxisPen ticksInner_{true, 0x808080, 1};
    TAxisPen minorTicks_{true, 0x808080, 1};
    TAxisPen grid_{true, 0x808080, 1, TChartPen::Style::psDot};
    TAxisPen minorGrid_{false, 0x808080, 1, TChartPen::Style::psDot};
    TAxisTitle title_;

    TAxisPlacement placement_;
};
