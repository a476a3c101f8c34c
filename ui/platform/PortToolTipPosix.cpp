#include "ui/platform/PortToolTip.h"

#include "serial/PortFolder.h"
#include "serial/PortMap.h"
#include "ui/window/LinkStatus.h"

#include <QStringList>

QString PortToolTip(int chosen) {
    const std::vector<serial::TPortTarget> numbered = serial::MachinePorts();
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
