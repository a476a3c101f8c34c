#include "ui/window/InstrumentsPage.h"

#include <QCheckBox>
#include <QFont>
#include <QLabel>
#include <QTimer>

namespace {

using gauge::TILAngularGauge;

constexpr int RefreshMs = 100;

struct TGaugeSetup {
    const char* Name;
    const char* Caption;
    QRect Bounds;
    double Max;
    unsigned MajorCount;
    unsigned MinorCount;
    float LabelsPosition;
};

// Speed ranges of dev_rpm: full, and idle for "ХХ".
constexpr double FullMax = 6000;
constexpr unsigned FullMajor = 7;
constexpr unsigned FullMinor = 4;
constexpr double IdleMin = 700;
constexpr double IdleMax = 1100;
constexpr unsigned IdleMajor = 11;
constexpr unsigned IdleMinor = 3;

// The layout's bold "MS Sans Serif" of 19 pixels where it exists, else the nearest face.
QFont LargeBold() {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(19);
    font.setBold(true);
    return font;
}

TILAngularGauge* CreateGauge(QWidget* page, const TGaugeSetup& setup) {
    auto* g = new TILAngularGauge(page);
    g->setObjectName(setup.Name);
    g->setGeometry(setup.Bounds);

    g->Glass.Visible.Set(false);
    g->Scale.Position.SetValue(0.95f);
    g->Scale.Precision.NumberDigits.Set(1);
    g->Scale.Precision.FixedPrecision.Set(false);
    g->Scale.MinAngle.Set(315);
    g->Scale.MaxAngle.Set(225);
    g->Scale.MajorTicks.Length.SetValue(0.05f);
    g->Scale.MajorTicks.Thickness.SetValue(0.02f);
    g->Scale.MinorTicks.Length.SetValue(0.02f);
    g->Scale.MinorTicks.Thickness.SetValue(0.01f);
    g->Scale.MinorTicks.Labels.Visible.Set(false);
    g->Ranges.Position.SetValue(0.01f);
    g->Ranges.Width.SetValue(0.01f);
    g->Center.Bottom.Size.SetValue(0.17f);
    g->Center.Top.Size.SetValue(0.143f);
    g->Background.UseParentColor.Set(true);

    g->Caption.Text.Set(QString::fromUtf8(setup.Caption));
    g->SetMin(0);
    g->SetMax(setup.Max);
    g->Scale.MajorTicks.Count.Set(setup.MajorCount);
    g->Scale.MinorTicks.Count.Set(setup.MinorCount);
    g->Scale.MajorTicks.Labels.Position.SetValue(setup.LabelsPosition);
    g->SetValue(0);
    g->Loaded();
    return g;
}

} // namespace

TInstrumentsPage::TInstrumentsPage(telemetry::TLatestValues& latest, QWidget* parent)
    : QWidget(parent), Latest(latest) {
    dev_uoz = CreateGauge(this, {"dev_uoz", "УОЗ", QRect(360, -8, 305, 305), 50, 11, 4, 0.75f});
    dev_dad = CreateGauge(this, {"dev_dad", "ДАД", QRect(704, -8, 305, 305), 256, 9, 3, 0.75f});
    dev_rpm = CreateGauge(
        this, {"dev_rpm", "Обороты", QRect(0, -8, 305, 305), FullMax, FullMajor, FullMinor, 0.73f});
    dev_ok = CreateGauge(
        this, {"dev_ok", "Октан корректор", QRect(224, 288, 217, 209), 256, 9, 3, 0.75f});

    chk_xx = new QCheckBox(QStringLiteral("ХХ"), this);
    chk_xx->setObjectName("chk_xx");
    chk_xx->setGeometry(8, 8, 49, 33);
    chk_xx->setFont(LargeBold());
    chk_xx->setChecked(false);
    connect(chk_xx, &QCheckBox::toggled, this, &TInstrumentsPage::chk_xxClick);

    dev_temp =
        CreateGauge(this, {"dev_temp", "Температура", QRect(576, 288, 217, 209), 256, 9, 3, 0.75f});

    // Below the speed gauge, in the corner the gauges leave free.
    lblShownFrame = new QLabel(this);
    lblShownFrame->setObjectName("lblShownFrame");
    lblShownFrame->setGeometry(8, 404, 208, 56);
    lblShownFrame->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblShownFrame->setFont(LargeBold());
    lblShownFrame->hide();
    setFocusPolicy(Qt::ClickFocus);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(RefreshMs);
    connect(Timer1, &QTimer::timeout, this, &TInstrumentsPage::Timer1Timer);
    Timer1->start();
}

void TInstrumentsPage::Timer1Timer() {
    const telemetry::TLatestValues& shown = shownFrame_ ? shownFrame_->Values : Latest;
    if (shown.Period != 0) {
        dev_rpm->SetValue(telemetry::EngineSpeed(shown.Period));
    }
    dev_uoz->SetValue(telemetry::AdvanceDegrees(shown.AdvanceCode));
    dev_dad->SetValue(shown.Map);
    dev_ok->SetValue(shown.OctaneCorrector);
    dev_temp->SetValue(shown.Temperature);
    if (shownFrame_)
        lblShownFrame->setText(
            "Кадр " + QString::number(shownFrame_->Number) +
            (shownFrame_->When.isEmpty() ? QString() : "\n" + shownFrame_->When));
    lblShownFrame->setVisible(shownFrame_.has_value());
}

void TInstrumentsPage::ShowFrame(const telemetry::TDecodedFrame& frame, const QString& when) {
    telemetry::TLatestValues shown;
    shown.Period = frame.Period;
    shown.Map = frame.Map;
    shown.CurveNumber = frame.CurveNumber;
    shown.Temperature = frame.Temperature;
    shown.OctaneCorrector = frame.OctaneCorrector;
    shown.AdvanceCode = frame.AdvanceCode;
    shownFrame_ = {frame.Number, shown, when};
}

void TInstrumentsPage::ShowLatest() {
    shownFrame_.reset();
}

void TInstrumentsPage::chk_xxClick() {
    // Max moves before Min both ways, so Min never exceeds Max on the way.
    if (chk_xx->isChecked()) {
        dev_rpm->SetMax(IdleMax);
        dev_rpm->SetMin(IdleMin);
        dev_rpm->SetValue(IdleMin);
        dev_rpm->Scale.MajorTicks.Count.Set(IdleMajor);
        dev_rpm->Scale.MinorTicks.Count.Set(IdleMinor);
    } else {
        dev_rpm->SetMax(FullMax);
        dev_rpm->SetMin(0);
        dev_rpm->SetValue(0);
        dev_rpm->Scale.MajorTicks.Count.Set(FullMajor);
        dev_rpm->Scale.MinorTicks.Count.Set(FullMinor);
    }
}
