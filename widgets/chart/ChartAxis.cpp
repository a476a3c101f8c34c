#include "widgets/chart/ChartAxis.h"

#include <QFontMetrics>

#include <algorithm>
#include <cmath>
#include <utility>

QFont ChartDefaultFont() {
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    return font;
}

TChartAxis::TChartAxis(TAxisKind kind, chart::TOwner* owner)
    : kind_(kind), owner_(owner), visible_(kind != TAxisKind::Depth),
      labelsFont_(ChartDefaultFont()) {
    title_.Font = ChartDefaultFont();
    title_.Angle = kind == TAxisKind::Left ? 90 : kind == TAxisKind::Right ? 270 : 0;
    placement_.Map.Horizontal = Horizontal();
}

void TChartAxis::Changed() {
    labelWidths_.clear();
    if (owner_)
        owner_->Changed(chart::TChange::Look);
}

int TChartAxis::LabelWidth(const QString& text) const {
    if (const auto known = labelWidths_.constFind(text); known != labelWidths_.cend())
        return *known;
    // Live plotting makes a new text for the growing end of a range on every redraw.
    if (labelWidths_.size() >= 256)
        labelWidths_.clear();
    const QFontMetrics metrics(labelsFont_);
    int width = 0;
    for (const QString& line : text.split(QLatin1Char('\n')))
        width = std::max(width, metrics.horizontalAdvance(line));
    labelWidths_.insert(text, width);
    return width;
}

void TChartAxis::SetAutomatic(bool v) {
    if (automatic_ == v && automaticMinimum_ == v && automaticMaximum_ == v)
        return;
    automatic_ = automaticMinimum_ = automaticMaximum_ = v;
    Changed();
}

void TChartAxis::SetAutomaticMinimum(bool v) {
    if (automaticMinimum_ == v)
        return;
    automaticMinimum_ = v;
    automatic_ = v && automaticMaximum_;
    Changed();
}

void TChartAxis::SetAutomaticMaximum(bool v) {
    if (automaticMaximum_ == v)
        return;
    automaticMaximum_ = v;
    automatic_ = v && automaticMinimum_;
    Changed();
}

void TChartAxis::SetMinimum(double v) {
    if (v > maximum_)
        throw AxisException("Axis Minimum Value must be <= Maximum");
    Set(minimum_, v);
}

void TChartAxis::SetMaximum(double v) {
    if (v < minimum_)
        throw AxisException("Axis Maximum Value must be >= Minimum");
    Set(maximum_, v);
}

void TChartAxis::SetMinMax(double minimum, double maximum) {
    if (minimum > maximum)
        std::swap(minimum, maximum);
    if (maximum - minimum < 1e-10)
        maximum = minimum + 1e-10;
    const bool same = minimum == minimum_ && maximum == maximum_ && !automatic_ &&
                      !automaticMinimum_ && !automaticMaximum_;
    automatic_ = automaticMinimum_ = automaticMaximum_ = false;
    minimum_ = minimum;
    maximum_ = maximum;
    if (!same)
        Changed();
}

void TChartAxis::SetScale(const TAxisScale& scale) {
    if (scale == Scale())
        return;
    automatic_ = scale.Automatic;
    automaticMinimum_ = scale.AutomaticMinimum;
    automaticMaximum_ = scale.AutomaticMaximum;
    minimum_ = scale.Minimum;
    maximum_ = scale.Maximum;
    Changed();
}

void TChartAxis::TakeDataRange(double low, double high) noexcept {
    if (automatic_ || automaticMinimum_)
        minimum_ = low;
    if (automatic_ || automaticMaximum_)
        maximum_ = high;
}

void TChartAxis::SetIncrement(double v) {
    if (v < 0)
        throw AxisException("Axis increment must be >= 0");
    Set(increment_, v);
}

void TChartAxis::SetLabelsSeparation(int v) {
    if (v < 0)
        throw AxisException("Labels Separation % must be greater than 0");
    Set(labelsSeparation_, v);
}

void TChartAxis::SetLabelsAngle(int v) {
    Set(labelsAngle_, ((v % 360) + 360) % 360);
}

const chart::TLabelEngine& TChartAxis::LabelEngine() const noexcept {
    static const chart::TValueLabels values;
    return labelEngine_ ? *labelEngine_ : values;
}

void TChartAxis::SetLabelEngine(std::shared_ptr<const chart::TLabelEngine> engine) {
    Set(labelEngine_, engine);
}

QString TChartAxis::LabelText(double value) const {
    QString text = LabelEngine().Text(LabelScale(), value);
    if (labelsMultiLine_)
        text.replace(QLatin1Char(' '), QLatin1Char('\n'));
    return text;
}

int TChartAxis::LabelExtent(const QString& text) const {
    const bool across = labelsAngle_ == 90 || labelsAngle_ == 270;
    if (Horizontal() != across)
        return LabelWidth(text);
    return QFontMetrics(labelsFont_).height() * static_cast<int>(text.count(QLatin1Char('\n')) + 1);
}

double TChartAxis::LabelStep(int length) const {
    const chart::TAxisMap& map = Map();
    const int size =
        std::max(LabelExtent(LabelText(map.Maximum)), LabelExtent(LabelText(map.Minimum)));
    return LabelEngine().Step(LabelScale(), chart::LabelCapacity(length, size, labelsSeparation_));
}

int TChartAxis::WidestLabel() const {
    double low = Map().Minimum, high = Map().Maximum;
    if (roundFirstLabel_ || (IsDateTime() && exactDateTime_)) {
        // Laid out anew, the axis keeps the span of the last layout until the bands are
        // reserved: the step is the one that span fits.
        const double step = LabelStep(Map().Length());
        low = std::trunc(low / step) * step;
        high = std::trunc(high / step) * step;
    }
    return std::max(LabelWidth(LabelText(low)), LabelWidth(LabelText(high))) +
           QFontMetrics(labelsFont_).horizontalAdvance(QLatin1Char(' '));
}
