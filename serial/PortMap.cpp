#include "serial/PortMap.h"

#include "serial/PortFolder.h"

#include <algorithm>
#include <charconv>
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

} // namespace serial
