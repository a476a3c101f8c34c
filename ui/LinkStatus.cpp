#include "LinkStatus.h"

#include <QLocale>

namespace {

QString StateText(telemetry::TLinkState state) {
    switch (state) {
    case telemetry::TLinkState::Receiving:
        return "Приём данных";
    case telemetry::TLinkState::NoData:
        return "Нет данных больше 1 с";
    case telemetry::TLinkState::WaitingForPort:
        return "Ожидание порта";
    }
    return {};
}

} // namespace

QString LinkStatusText(const telemetry::TLinkReport& report, bool open, const QString& port) {
    const QLocale russian(QLocale::Russian);
    const auto number = [&](std::uint64_t n) { return russian.toString(qulonglong{n}); };
    return QString("%1 | записано %2 байт | кадров %3 | пропущено %4 байт | %5 кадров/с | %6")
        .arg(open ? StateText(report.State) : QString("Порт закрыт"), number(report.BytesRecorded),
             number(report.Frames), number(report.SkippedBytes),
             number(open ? report.FrameRate : 0), port);
}
