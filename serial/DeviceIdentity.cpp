#include "serial/DeviceIdentity.h"

namespace serial {

bool SameDevice(const TDeviceIdentity& lost, const TDeviceIdentity& found) {
    if (lost.Adapter)
        return found.Adapter == lost.Adapter;
    if (found.Device != lost.Device || found.Fixed != lost.Fixed)
        return false;
    return lost.Fixed || found.Entry != lost.Entry;
}

} // namespace serial
