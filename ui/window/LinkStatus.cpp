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
    case telemetry::TLinkState::AwaitingMode:
        return "Вопрос о выводе графиков ждёт ответа";
    case telemetry::TLinkState::Stopped:
        return "Запись остановлена: файл не принял данные";
    }
    return {};
}

QString Number(std::uint64_t n) {
    return QLocale(QLocale::Russian).toString(qulonglong{n});
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
    if (open && report.State == telemetry::TLinkState::AwaitingMode)
        return QString("%1 | принято %2 байт, они будут записаны после ответа | %3")
            .arg(StateText(report.State), Number(report.BytesKept), port);
    return QString("%1 | записано %2 байт | кадров %3 | пропущено %4 байт | %5 кадров/с | %6")
        .arg(open ? StateText(report.State) : QString(PortClosedText), Number(report.BytesRecorded),
             Number(report.Frames), Number(report.SkippedBytes),
             Number(open ? report.FrameRate : 0), port);
}

QString PortText(int number, const std::filesystem::path& device) {
    QString text = QString("COM%1: %2").arg(number).arg(PathText(device.native()));
    std::error_code error;
    const std::filesystem::path target = std::filesystem::canonical(device, error);
    if (!error && target != device)
        text += QString(" (%1)").arg(PathText(target.native()));
    return text;
}
