#include "LinkStatus.h"

#include <QFile>
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

QString PortText(int number, const std::filesystem::path& device) {
    QString text = QString("COM%1: %2").arg(number).arg(QFile::decodeName(device.c_str()));
    std::error_code error;
    const std::filesystem::path target = std::filesystem::canonical(device, error);
    if (!error && target != device)
        text += QString(" (%1)").arg(QFile::decodeName(target.c_str()));
    return text;
}

QString PortToolTip(int chosen, const std::vector<serial::TPortTarget>& numbered) {
    const serial::TPortTarget port =
        serial::ResolvePort(static_cast<std::uint8_t>(chosen), numbered);
    QString tip = PortText(chosen, port.Device);
    QStringList others;
    for (const serial::TPortTarget& other : numbered)
        if (other.Number != chosen)
            others << PortText(other.Number, other.Device);
    if (!others.isEmpty())
        tip += "\nДругие порты:\n" + others.join('\n');
    return tip;
}
