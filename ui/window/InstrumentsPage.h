#pragma once

// The "Приборы" page: five dial gauges refreshed from the latest telemetry values every
// 100 ms, and the "ХХ" switch that narrows the engine-speed gauge to the idle range. A click
// on the page away from the switch gives the page the keys; the switch has them only when
// the user gives them to it (Tab or a click on it).

#include "telemetry/DecodedFrame.h"
#include "telemetry/Telemetry.h"
#include "widgets/gauge/TILAngularGauge.h"

#include <QWidget>

#include <cstdint>
#include <optional>

class QCheckBox;
class QLabel;
class QTimer;

class TInstrumentsPage : public QWidget {
    Q_OBJECT

public:
    explicit TInstrumentsPage(telemetry::TLatestValues& latest, QWidget* parent = nullptr);

    // In creation order: later controls lie over earlier ones.
    gauge::TILAngularGauge* dev_uoz;  // ignition advance, degrees
    gauge::TILAngularGauge* dev_dad;  // manifold absolute pressure, raw
    gauge::TILAngularGauge* dev_rpm;  // engine speed, revolutions per minute
    gauge::TILAngularGauge* dev_ok;   // octane corrector, raw
    QCheckBox* chk_xx;                // idle range of dev_rpm
    gauge::TILAngularGauge* dev_temp; // temperature, raw
    QTimer* Timer1;                   // 100 ms refresh, running from creation
    // Names the frame the gauges show instead of the latest values; hidden while they show
    // the latest. Two lines high: the frame's number, and room under it to say when it came.
    QLabel* lblShownFrame;

    // Copies the latest values, or the frame shown instead of them, onto the gauges. A period
    // of 0 has no speed, so the speed gauge keeps what it showed.
    void Timer1Timer();
    // From the next tick on the gauges show frame instead of the latest values, by the same
    // rules, and lblShownFrame names it, until ShowLatest.
    // when, if given, is the frame's time, on a line of its own under its number.
    void ShowFrame(const telemetry::TDecodedFrame& frame, const QString& when = {});
    void ShowLatest();
    // Switches dev_rpm between 0..6000 and the idle range 700..1100 by the state of chk_xx.
    void chk_xxClick();

private:
    struct TShownFrame {
        std::int64_t Number;
        telemetry::TLatestValues Values;
        QString When;
    };

    telemetry::TLatestValues& Latest;
    std::optional<TShownFrame> shownFrame_;
};
