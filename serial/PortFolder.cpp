#include "serial/PortFolder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace serial {

namespace {

// Why dir is no real directory of this user that nobody else can write to; nothing when it is.
std::optional<TDistrust> WhyNotPrivate(const std::filesystem::path& dir) {
    const std::string name = dir.string();
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0)
        return TDistrust{name + ": " + std::strerror(errno),
                         "Папку " + name + " не удалось проверить."};
    if (S_ISLNK(st.st_mode))
        return TDistrust{name + " is a link", name + " — ссылка, а не папка."};
    if (!S_ISDIR(st.st_mode))
        return TDistrust{name + " is not a folder", name + " — не папка."};
    if (st.st_uid != ::geteuid())
        return TDistrust{name + " belongs to another user",
                         "Папка " + name + " принадлежит другому пользователю."};
    if (st.st_mode & (S_IWGRP | S_IWOTH))
        return TDistrust{name + " is writable by other users",
                         "В папку " + name + " могут писать другие пользователи."};
    return std::nullopt;
}

void MakeDirectory(const std::filesystem::path& dir) {
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        throw std::runtime_error("Cannot create " + dir.string() + ": " + std::strerror(errno));
}

} // namespace

std::filesystem::path PortFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime)
        return std::filesystem::path(runtime) / "telmira" / "ports";
    return std::filesystem::path("/tmp") / ("telmira-" + std::to_string(::geteuid())) / "ports";
}

std::optional<TDistrust> WhyUntrusted(const std::filesystem::path& folder) {
    auto why = WhyNotPrivate(folder);
    if (!why)
        why = WhyNotPrivate(folder.parent_path());
    if (why)
        why->Explanation += " Через такую папку можно подменить порт, поэтому порты не "
                            "открываются: удалите её или исправьте владельца и права доступа.";
    return why;
}

std::filesystem::path EnsurePortFolder() {
    const std::filesystem::path folder = PortFolder();
    MakeDirectory(folder.parent_path());
    MakeDirectory(folder);
    if (const auto why = WhyUntrusted(folder))
        throw std::runtime_error(why->Why + "; remove it or fix its owner and mode");
    return folder;
}

std::vector<TPortTarget> MachinePorts() {
    return NumberedPorts("/dev", PortFolder());
}

// The port's link, its adapter (PortMap.h), or else /dev/ttyS<number-1>. A port folder that
// is there but untrusted refuses every port, saying why: falling back to another device would
// record whatever that is.
TPortTarget PortTarget(std::uint8_t number) {
    const std::filesystem::path folder = PortFolder();
    struct stat st {};
    const bool noFolder = ::lstat(folder.c_str(), &st) != 0 && errno == ENOENT;
    if (!noFolder)
        if (const auto why = WhyUntrusted(folder))
            throw EPortRefused(why->Why, why->Explanation);
    return ResolvePort(number, MachinePorts());
}

std::filesystem::path PortDevice(std::uint8_t number) {
    return PortTarget(number).Device;
}

} // namespace serial
