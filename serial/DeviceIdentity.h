#pragma once

// What a port number led to when its port was opened, so that a session whose port failed
// opens the number again only while it leads to the same device. A number may lead somewhere
// else in the meantime: a link left behind by a program that was killed names a pseudo-terminal
// that the system hands to the next program asking for one (another simulator, a terminal
// window), and the adapters present are numbered anew as they come and go.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace serial {

// A USB serial adapter as the system describes it, the same whatever tty name it gets when it
// is plugged in again.
struct TAdapterIdentity {
    std::string Vendor;
    std::string Product;
    std::string Serial;    // empty when the adapter has none
    std::string Interface; // which of a multi-port adapter's ports: its interface and port
    std::string Socket;    // where it is plugged in; only for an adapter without a serial number

    friend bool operator==(const TAdapterIdentity&, const TAdapterIdentity&) = default;
};

// The link or entry the number resolved to, as a file: one made anew (removed and made again,
// or replaced) has another inode or another change time.
struct TEntryIdentity {
    std::uint64_t FileSystem = 0;
    std::uint64_t Inode = 0;
    std::int64_t ChangedSeconds = 0;
    std::int64_t ChangedNanoseconds = 0;

    friend bool operator==(const TEntryIdentity&, const TEntryIdentity&) = default;
};

struct TDeviceIdentity {
    std::filesystem::path Device; // what the number led to: a link, an adapter's entry, a port
    bool Fixed = false;           // a port of the machine itself, there for good (/dev/ttyS<n-1>)
    TEntryIdentity Entry;
    std::optional<TAdapterIdentity> Adapter;
};

// Whether found, where the number leads now, is the device of lost: the same adapter, under
// whatever entry and tty name; otherwise the same link or entry, made anew since lost was
// opened (a node that reappears under a link left in place may be anything); or the same port
// of the machine.
[[nodiscard]] bool SameDevice(const TDeviceIdentity& lost, const TDeviceIdentity& found);

} // namespace serial
