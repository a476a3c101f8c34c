#include "ui/platform/PortToolTip.h"

#include "serial/PortName.h"
#include "ui/window/LinkStatus.h"

#include <QStringList>

#include <cwchar>
#include <map>
#include <string>
#include <vector>

#include <windows.h>

namespace {

// The system device behind an MS-DOS device name ("COM3" -> "\Device\VCP0"); empty when
// there is none.
QString DosDeviceTarget(const std::wstring& name) {
    wchar_t target[MAX_PATH];
    if (::QueryDosDeviceW(name.c_str(), target, MAX_PATH) == 0)
        return {};
    return QString::fromWCharArray(target);
}

// The COM ports the system knows, by number, each with its system device.
std::map<int, QString> ComPorts() {
    // Every MS-DOS device name, one after another, each ended by a null; the buffer grows until
    // the list fits.
    std::vector<wchar_t> names(16384);
    while (::QueryDosDeviceW(nullptr, names.data(), static_cast<DWORD>(names.size())) == 0) {
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || names.size() >= (1u << 22))
            return {};
        names.resize(names.size() * 2);
    }
    std::map<int, QString> ports;
    for (const wchar_t* name = names.data(); *name; name += std::wcslen(name) + 1) {
        const QString text = QString::fromWCharArray(name);
        bool isNumber = false;
        const int number = text.mid(3).toInt(&isNumber);
        if (text.startsWith("COM", Qt::CaseInsensitive) && isNumber && number >= 1 &&
            number <= 255 && text.mid(3) == QString::number(number))
            ports.emplace(number, DosDeviceTarget(name));
    }
    return ports;
}

QString ComPortText(int number, const QString& target) {
    QString text = PortText(number, serial::PortDevice(static_cast<std::uint8_t>(number)));
    if (!target.isEmpty())
        text += QString(" (%1)").arg(target);
    return text;
}

} // namespace

QString PortToolTip(int chosen) {
    const std::map<int, QString> ports = ComPorts();
    const auto found = ports.find(chosen);
    QString tip = ComPortText(chosen, found == ports.end() ? QString() : found->second);
    QStringList others;
    for (const auto& [number, target] : ports)
        if (number != chosen)
            others << ComPortText(number, target);
    if (!others.isEmpty())
        tip += "\nДругие порты:\n" + others.join('\n');
    return tip;
}
