#include "serial/PortName.h"

namespace serial {

std::string PortName(std::uint8_t number) {
    return "\\\\.\\COM" + std::to_string(number);
}

} // namespace serial
