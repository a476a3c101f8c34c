#include "serial/PortMap.h"

#include "serial/PortFolder.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <limits>
#include <optional>
#include <set>
#include <string_view>
#include <sys/stat.h>

namespace serial {

namespace {

namespace fs = std::filesystem;

// The n of "<prefix><n>", n written without leading zeros.
std::optional<unsigned> NumberAfter(std::string_view name, std::string_view prefix) {
    if (!name.starts_with(prefix))
        return std::nullopt;
    name.remove_prefix(prefix.size());
    if (name.empty() || (name.size() > 1 && name.front() == '0'))
        return std::nullopt;
    unsigned n = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), n);
    if (error != std::errc() || end != name.data() + name.size())
        return std::nullopt;
    return n;
}

bool DevicePresent(const fs::path& entry) {
    struct stat st {};
    return ::stat(entry.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

// The ttyACM<n> and ttyUSB<n> nodes, ACM first, each kind by number.
std::vector<fs::path> TtyAdapters(const fs::path& devRoot) {
    std::vector<std::pair<std::pair<int, unsigned>, fs::path>> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(devRoot, error)) {
        const std::string name = entry.path().filename().string();
        int kind = 0;
        for (const std::string_view prefix : {"ttyACM", "ttyUSB"}) {
            if (const auto n = NumberAfter(name, prefix))
                found.push_back({{kind, *n}, entry.path()});
            ++kind;
        }
    }
    std::sort(found.begin(), found.end());
    std::vector<fs::path> adapters;
    for (auto& [key, path] : found)
        adapters.push_back(std::move(path));
    return adapters;
}

// The first line of a device attribute, without its line end; empty where there is none.
std::string Attribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

// The names met from entry along its links to the file they end at: a link in the port folder,
// a by-id entry, the tty node.
std::vector<std::string> NamesAlongLinks(const fs::path& entry) {
    std::vector<std::string> names{entry.filename().string()};
    fs::path at = entry;
    std::error_code error;
    for (int hop = 0; hop < 40 && fs::is_symlink(at, error); ++hop) {
        const fs::path target = fs::read_symlink(at, error);
        if (error)
            break;
        at = target.is_absolute() ? target : at.parent_path() / target;
        names.push_back(at.filename().string());
    }
    return names;
}

// The USB adapter whose tty entry leads to, from the device tree under sysRoot: the tty's
// device, the interface above it and the USB device above that. Nothing for a tty that is no
// USB device's (a pseudo-terminal, a port of the machine).
std::optional<TAdapterIdentity> AdapterBehind(const fs::path& entry, const fs::path& sysRoot) {
    std::error_code error;
    const fs::path root = fs::canonical(sysRoot, error);
    if (error)
        return std::nullopt;
    const std::vector<std::string> names = NamesAlongLinks(entry);
    // The tty node comes last, so the name nearest to it that the tree knows is the tty's.
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        const fs::path device = fs::canonical(root / "class" / "tty" / *name / "device", error);
        if (error)
            continue;
        TAdapterIdentity adapter;
        std::string port;
        for (fs::path dir = device;
             dir != root && dir.has_relative_path() && dir.string().starts_with(root.string());
             dir = dir.parent_path()) {
            if (port.empty() && fs::exists(dir / "port_number", error))
                port = Attribute(dir / "port_number");
            if (adapter.Interface.empty() && fs::exists(dir / "bInterfaceNumber", error))
                adapter.Interface = Attribute(dir / "bInterfaceNumber");
            if (fs::exists(dir / "idVendor", error)) {
                adapter.Vendor = Attribute(dir / "idVendor");
                adapter.Product = Attribute(dir / "idProduct");
                adapter.Serial = Attribute(dir / "serial");
                // Identical adapters without serial numbers differ only by where they are.
                if (adapter.Serial.empty())
                    adapter.Socket = dir.filename().string();
                adapter.Interface += ":" + port;
                return adapter;
            }
        }
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

std::vector<fs::path> PresentAdapters(const fs::path& devRoot) {
    const fs::path byId = devRoot / "serial" / "by-id";
    std::error_code error;
    std::vector<fs::path> adapters;
    if (fs::is_directory(byId, error)) {
        for (const auto& entry : fs::directory_iterator(byId, error))
            adapters.push_back(entry.path());
        std::sort(adapters.begin(), adapters.end());
    } else {
        adapters = TtyAdapters(devRoot);
    }
    std::erase_if(adapters, [](const fs::path& entry) { return !DevicePresent(entry); });
    return adapters;
}

std::vector<TPortTarget> NumberedPorts(const fs::path& devRoot, const fs::path& folder) {
    constexpr unsigned MaxNumber = std::numeric_limits<std::uint8_t>::max();
    std::vector<TPortTarget> ports;
    std::set<unsigned> linked;
    std::error_code error;
    if (!WhyUntrusted(folder)) {
        for (const auto& entry : fs::directory_iterator(folder, error)) {
            const auto n = NumberAfter(entry.path().filename().string(), "COM");
            if (n && *n >= 1 && *n <= MaxNumber && linked.insert(*n).second)
                ports.push_back(
                    {static_cast<std::uint8_t>(*n), entry.path(), TPortTarget::TKind::Link});
        }
    }
    unsigned next = 1;
    for (const fs::path& adapter : PresentAdapters(devRoot)) {
        while (linked.contains(next))
            ++next;
        if (next > MaxNumber)
            break;
        ports.push_back({static_cast<std::uint8_t>(next++), adapter, TPortTarget::TKind::Adapter});
    }
    std::sort(ports.begin(), ports.end(),
              [](const TPortTarget& a, const TPortTarget& b) { return a.Number < b.Number; });
    return ports;
}

TPortTarget ResolvePort(std::uint8_t number, const std::vector<TPortTarget>& numbered) {
    for (const TPortTarget& port : numbered)
        if (port.Number == number)
            return port;
    return {number, "/dev/ttyS" + std::to_string(static_cast<int>(number) - 1),
            TPortTarget::TKind::Serial};
}

TDeviceIdentity IdentifyDevice(const TPortTarget& target, const fs::path& sysRoot) {
    TDeviceIdentity identity;
    identity.Device = target.Device;
    identity.Fixed = target.Kind == TPortTarget::TKind::Serial;
    struct stat st {};
    if (::lstat(target.Device.c_str(), &st) == 0)
        identity.Entry = {static_cast<std::uint64_t>(st.st_dev),
                          static_cast<std::uint64_t>(st.st_ino), st.st_ctim.tv_sec,
                          st.st_ctim.tv_nsec};
    identity.Adapter = AdapterBehind(target.Device, sysRoot);
    return identity;
}

} // namespace serial
