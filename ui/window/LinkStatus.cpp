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

QString ViewStatusText(TViewEnd end, const telemetry::TRecordingFigures& read, std::uint64_t size,
                       std::uint64_t framesOnChart) {
    const QString onChart = Number(framesOnChart);
    QString text;
    switch (end) {
    case TViewEnd::Whole:
        text = "Просмотр записи";
        break;
    case TViewEnd::TooLong:
        text = QString("Запись длиннее, чем вмещает график: на нём первые %1 кадров").arg(onChart);
        break;
    case TViewEnd::Cancelled:
        text = QString("Просмотр отменён: на графике только первые %1 кадров").arg(onChart);
        break;
    case TViewEnd::CutShort:
        text = QString("Файл укорочен во время чтения: на графике только первые %1 кадров")
                   .arg(onChart);
        break;
    }
    const bool whole = end == TViewEnd::Whole || end == TViewEnd::TooLong;
    text += whole ? QString(" | размер %1 байт").arg(Number(size))
                  : QString(" | прочитано %1 из %2 байт").arg(Number(read.Bytes), Number(size));
    return text + QString(" | кадров %1 | пропущено %2 байт | %3 при %4 кадрах/с")
                      .arg(Number(read.Frames), Number(read.SkippedBytes),
                           LineRateDuration(read.Frames), Number(telemetry::LineFramesPerSecond));
}

QString TimesStatusText(telemetry::TCompanionState state, const QString& companionName) {
    using S = telemetry::TCompanionState;
    const QString file = "«" + companionName + "»";
    QString why;
    switch (state) {
    case S::Complete:
        return {};
    case S::CutOff:
        return "сеанс записи не был закрыт: время последних байтов оценено (≈)";
    case S::Appended:
        return "запись дописана после сеанса: время дописанного оценено (≈)";
    case S::Damaged:
        return QString("файл %1 повреждён в середине: время дальше оценено (≈)").arg(file);
    case S::Untimed:
        why = QString("в файле %1 только метки").arg(file);
        break;
    case S::Missing:
        why = QString("нет файла времени %1").arg(file);
        break;
    case S::Unreadable:
        why = QString("файл времени %1 не читается").arg(file);
        break;
    case S::Short:
        why = QString("файл времени %1 оборван в начале").arg(file);
        break;
    case S::Garbled:
        why = QString("файл времени %1 повреждён").arg(file);
        break;
    case S::Foreign:
        why = QString("файл времени %1 от другой записи, или запись изменена после него").arg(file);
        break;
    case S::NewerFormat:
        why = QString("файл времени %1 записан более новой версией программы").arg(file);
        break;
    }
    return "время оценено по скорости линии (≈): " + why;
}

QString ChartTooShortText(std::uint64_t framesOnChart, std::uint64_t frames) {
    return QString("Запись длиннее, чем вмещает график: на нём первые %1 кадров (%2) из %3 (%4 "
                   "при %5 кадрах/с)")
        .arg(Number(framesOnChart), LineRateDuration(framesOnChart), Number(frames),
             LineRateDuration(frames), Number(telemetry::LineFramesPerSecond));
}

QString LineRateDuration(std::uint64_t frames) {
    const std::uint64_t seconds = frames / telemetry::LineFramesPerSecond;
    const std::uint64_t hours = seconds / 3600, minutes = seconds / 60 % 60;
    if (hours > 0)
        return QString("%1 ч %2 мин %3 с").arg(hours).arg(minutes).arg(seconds % 60);
    if (minutes > 0)
        return QString("%1 мин %2 с").arg(minutes).arg(seconds % 60);
    return QString("%1 с").arg(seconds);
}

QString PortText(int number, const std::filesystem::path& device) {
    QString text = QString("COM%1: %2").arg(number).arg(PathText(device.native()));
    std::error_code error;
    const std::filesystem::path target = std::filesystem::canonical(device, error);
    if (!error && target != device)
        text += QString(" (%1)").arg(PathText(target.native()));
    return text;
}
