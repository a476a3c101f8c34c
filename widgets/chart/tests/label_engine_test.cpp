#include "widgets/chart/ChartAxis.h"
#include "widgets/chart/ChartLabels.h"

#include <gtest/gtest.h>

#include <QFontMetrics>

#include <memory>
#include <vector>

namespace {

// Elapsed time in seconds, as minutes and seconds a whole minute apart: a label engine of
// another kind than values, over the same map.
class TMinutes final : public chart::TLabelEngine {
public:
    double Step(const chart::TLabelScale&, int capacity) const override {
        Capacity = capacity;
        return 60;
    }
    chart::TLabelWalk Walk(const chart::TLabelScale& scale, double step,
                           const chart::TLabelWalkOptions& options) const override {
        return chart::WalkLabels(scale.Map, step, options);
    }
    QString Text(const chart::TLabelScale&, double value) const override {
        const int seconds = static_cast<int>(value);
        return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    }
    mutable int Capacity = -1;
};

// An axis laid out by hand: values low to high on pixels 0 to length.
void Place(TChartAxis& axis, double low, double high, int length, bool dateTime = false) {
    TAxisPlacement placement = axis.Placement();
    placement.Map.Minimum = low;
    placement.Map.Maximum = high;
    placement.Map.Start = 0;
    placement.Map.End = length;
    placement.Map.Logarithmic = axis.Logarithmic();
    placement.DateTime = dateTime;
    axis.Place(placement);
}

std::vector<double> Values(const chart::TLabelWalk& walk) {
    std::vector<double> values;
    for (const chart::TAxisLabel& label : walk.Labels)
        values.push_back(label.Value);
    return values;
}

TEST(LabelEngine, AnAxisWritesAndStepsItsLabelsWithTheEngineItIsGiven) {
    TChartAxis axis(TAxisKind::Bottom);
    Place(axis, 0, 600, 400);
    EXPECT_EQ(axis.LabelText(600), "600");
    const auto minutes = std::make_shared<TMinutes>();
    axis.SetLabelEngine(minutes);
    EXPECT_EQ(axis.LabelText(90), "1:30");
    EXPECT_EQ(axis.LabelStep(400), 60);
    const int widest = QFontMetrics(axis.LabelsFont()).horizontalAdvance(QStringLiteral("10:00"));
    EXPECT_EQ(minutes->Capacity, chart::LabelCapacity(400, widest, axis.LabelsSeparation()))
        << "the room is measured on the engine's own texts";
    EXPECT_EQ(Values(axis.LabelEngine().Walk(axis.LabelScale(), 60, {})),
              (std::vector<double>{600, 540, 480, 420, 360, 300, 240, 180, 120, 60, 0}));
    axis.SetLabelEngine(nullptr);
    EXPECT_EQ(axis.LabelText(600), "600") << "values again";
}

TEST(LabelEngine, ChangingTheEngineTellsTheAxisOwner) {
    struct TCounting final : chart::TOwner {
        void Changed(chart::TChange change) override { Changes.push_back(change); }
        std::vector<chart::TChange> Changes;
    } owner;
    TChartAxis axis(TAxisKind::Left, &owner);
    const auto minutes = std::make_shared<TMinutes>();
    axis.SetLabelEngine(minutes);
    axis.SetLabelEngine(minutes);
    EXPECT_EQ(owner.Changes, std::vector<chart::TChange>{chart::TChange::Look});
}

TEST(LabelEngine, ValuesWalkByTheAxisKind) {
    TChartAxis plain(TAxisKind::Left);
    Place(plain, 0, 1000, 400);
    EXPECT_EQ(Values(plain.LabelEngine().Walk(plain.LabelScale(), 250, {})),
              (std::vector<double>{1000, 750, 500, 250, 0}));

    TChartAxis powers(TAxisKind::Left);
    powers.SetLogarithmic(true);
    Place(powers, 1, 1000, 400);
    EXPECT_EQ(Values(powers.LabelEngine().Walk(powers.LabelScale(), 250, {})),
              (std::vector<double>{1000, 100, 10, 1}))
        << "a logarithmic axis without an increment labels the powers of its base";

    TChartAxis days(TAxisKind::Bottom);
    days.SetIncrement(1);
    days.SetDateTimeFormat(QStringLiteral("dd.mm"));
    // 1900-01-10 12:00 to 1900-03-05: months begin on the 1st.
    Place(days, 11.5, 66, 400, true);
    EXPECT_EQ(Values(days.LabelEngine().Walk(days.LabelScale(), 30, {})),
              (std::vector<double>{61, 33}));
    EXPECT_EQ(days.LabelText(61), "01.03");
    EXPECT_DOUBLE_EQ(days.LabelEngine().Step(days.LabelScale(), 2), 30)
        << "the date-time table's steps";
}

} // namespace
