#pragma once

// Which device each port number leads to. A link COM<n> in a trusted port folder comes
// first. USB and ACM serial adapters then get numbers of their own, without any setup:
// the adapters present are taken in order of name (the entries of /dev/serial/by-id, or
// /dev/ttyACM* then /dev/ttyUSB* by number when that folder is absent) and given the
// lowest numbers from 1 up that no link in the port folder names. The numbers stay as
// long as the same adapters are plugged in, whatever the order they were plugged in, and
// a by-id entry follows its adapter when it comes back under another tty name. Any other
// number is /dev/ttyS<n-1>.

#include "serial/DeviceIdentity.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace serial {

struct TPortTarget {
    enum class TKind { Link, Adapter, Serial };

    std::uint8_t Number = 0;
    std::filesystem::path Device; // what is opened: the link, the adapter's entry, ttyS<n-1>
    TKind Kind = TKind::Link;

    friend bool operator==(const TPortTarget&, const TPortTarget&) = default;
};

// The adapters present under devRoot, in the order they are numbered. Entries whose
// device is gone (an adapter just pulled out) are left out.
[[nodiscard]] std::vector<std::filesystem::path>
PresentAdapters(const std::filesystem::path& devRoot);

// Every number that leads somewhere other than /dev/ttyS<n-1>, in ascending order: the
// links of folder when it is trusted (WhyUntrusted), and the adapters under devRoot. Links of
// a folder that is not trusted count for nothing.
[[nodiscard]] std::vector<TPortTarget> NumberedPorts(const std::filesystem::path& devRoot,
                                                     const std::filesystem::path& folder);

// Where port number leads, given what NumberedPorts found.
[[nodiscard]] TPortTarget ResolvePort(std::uint8_t number,
                                      const std::vector<TPortTarget>& numbered);

// What target leads to, for telling later whether the number still leads there (SameDevice):
// the entry as a file, and the USB adapter behind it as the system's device tree under
// sysRoot (/sys) describes it, whichever link, by-id entry or tty name leads there.
[[nodiscard]] TDeviceIdentity IdentifyDevice(const TPortTarget& target,
                                             const std::filesystem::path& sysRoot);

} // namespace serial
