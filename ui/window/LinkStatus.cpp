#include "ui/window/LinkStatus.h"

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

// A path as the system spells it: bytes in the local encoding on Linux, UTF-16 on Windows.
[[maybe_unused]] QString PathText(const std::string& native) {
    return QFile::decodeName(native.c_str());
}

[[maybe_unused]] QString PathText(const std::wstring& native) {
    return QString::fromStdWString(native);
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
    QString text = QString("COM%1: %2").arg(number).arg(PathText(device.native()));
    std::error_code error;
    const std::filesystem::path target = std::filesystem::canonical(device, error);
    if (!error && target != device)
        text += QString(" (%1)").arg(PathText(target.native()));
    return text;
}
