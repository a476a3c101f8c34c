#include "ui/window/InstrumentsPage.h"

#include <QCheckBox>
#include <QLabel>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

class InstrumentsPage : public ::testing::Test {
protected:
    InstrumentsPage() { Latest.Period = 0xFFFF; }
    telemetry::TLatestValues Latest;
    TInstrumentsPage Page{Latest};
};

} // namespace

TEST_F(InstrumentsPage, FirstTickWithoutDataShowsTheStartValues) {
    Page.Timer1Timer();
    EXPECT_NEAR(Page.dev_rpm->Value(), 421.88, 0.005);
    EXPECT_DOUBLE_EQ(Page.dev_uoz->Value(), 5.625);
    EXPECT_DOUBLE_EQ(Page.dev_dad->Value(), 0);
    EXPECT_DOUBLE_EQ(Page.dev_ok->Value(), 0);
    EXPECT_DOUBLE_EQ(Page.dev_temp->Value(), 0);
}

TEST_F(InstrumentsPage, SpeedFromPeriodLimitedToTheScale) {
    struct Case {
        const char* rule;
        std::uint16_t period;
        double expected;
    } const cases[] = {
        {"4608 is exactly 6000", 4608, 6000},
        {"a shorter period is limited to Max", 1000, 6000},
        {"27648 is 1000", 27648, 1000},
        {"a period of 0 keeps the previous speed", 0, 1000},
    };
    for (const Case& c : cases) {
        Latest.Period = c.period;
        Page.Timer1Timer();
        EXPECT_DOUBLE_EQ(Page.dev_rpm->Value(), c.expected) << c.rule;
    }
}

TEST_F(InstrumentsPage, AdvanceInDegreesLimitedToFifty) {
    struct Case {
        std::uint8_t code;
        double expected;
    } const cases[] = {{252, 49.921875}, {253, 50}, {254, 50}, {255, 50}, {0, 5.625}};
    for (const Case& c : cases) {
        Latest.AdvanceCode = c.code;
        Page.Timer1Timer();
        EXPECT_DOUBLE_EQ(Page.dev_uoz->Value(), c.expected) << int(c.code);
    }
}

TEST_F(InstrumentsPage, RawBytesGoUnscaledToTheirGauges) {
    Latest.Map = 200;
    Latest.OctaneCorrector = 17;
    Latest.Temperature = 255;
    Latest.CurveNumber = 99;
    Page.Timer1Timer();
    EXPECT_DOUBLE_EQ(Page.dev_dad->Value(), 200);
    EXPECT_DOUBLE_EQ(Page.dev_ok->Value(), 17);
    EXPECT_DOUBLE_EQ(Page.dev_temp->Value(), 255);
}

TEST_F(InstrumentsPage, IdleSwitchNarrowsTheSpeedGaugeAndRestoresIt) {
    Latest.Period = 4608;
    Page.Timer1Timer();
    ASSERT_DOUBLE_EQ(Page.dev_rpm->Value(), 6000);

    Page.chk_xx->setChecked(true);
    const auto& rpm = *Page.dev_rpm;
    EXPECT_DOUBLE_EQ(rpm.Min(), 700);
    EXPECT_DOUBLE_EQ(rpm.Max(), 1100);
    EXPECT_DOUBLE_EQ(rpm.Value(), 700) << "the hand goes to 700 at once";
    EXPECT_EQ(rpm.Scale.MajorTicks.Count(), 11u);
    EXPECT_EQ(rpm.Scale.MinorTicks.Count(), 3u);
    Page.Timer1Timer();
    EXPECT_DOUBLE_EQ(rpm.Value(), 1100) << "the next tick limits the speed to the idle range";
    EXPECT_DOUBLE_EQ(Page.dev_uoz->Max(), 50) << "no other gauge changes";

    Page.chk_xx->setChecked(false);
    EXPECT_DOUBLE_EQ(rpm.Min(), 0);
    EXPECT_DOUBLE_EQ(rpm.Max(), 6000);
    EXPECT_DOUBLE_EQ(rpm.Value(), 0);
    EXPECT_EQ(rpm.Scale.MajorTicks.Count(), 7u);
    EXPECT_EQ(rpm.Scale.MinorTicks.Count(), 4u);
}

TEST_F(InstrumentsPage, ControlsStandInCreationOrderAtTheirPlaces) {
    const QList<QWidget*> expected = {Page.dev_uoz, Page.dev_dad,  Page.dev_rpm,      Page.dev_ok,
                                      Page.chk_xx,  Page.dev_temp, Page.lblShownFrame};
    QList<QWidget*> children = Page.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    EXPECT_EQ(children, expected) << "later controls lie over earlier ones";
    QStringList names;
    for (const QWidget* child : children)
        names << child->objectName();
    EXPECT_EQ(names, QStringList({"dev_uoz", "dev_dad", "dev_rpm", "dev_ok", "chk_xx", "dev_temp",
                                  "lblShownFrame"}));
    for (const QWidget* gauge :
         {static_cast<QWidget*>(Page.dev_rpm), static_cast<QWidget*>(Page.dev_ok)})
        EXPECT_FALSE(Page.lblShownFrame->geometry().intersects(gauge->geometry()))
            << "the frame's name stands clear of the gauges";
    EXPECT_EQ(Page.findChild<QTimer*>("Timer1"), Page.Timer1);
    EXPECT_EQ(Page.dev_rpm->geometry(), QRect(0, -8, 305, 305));
    EXPECT_EQ(Page.dev_ok->geometry(), QRect(224, 288, 217, 209));
    EXPECT_EQ(Page.chk_xx->geometry(), QRect(8, 8, 49, 33));
    EXPECT_TRUE(Page.chk_xx->geometry().intersects(Page.dev_rpm->geometry()));
    EXPECT_FALSE(Page.chk_xx->isChecked());
    EXPECT_TRUE(Page.Timer1->isActive());
    EXPECT_EQ(Page.Timer1->interval(), 100);
}
