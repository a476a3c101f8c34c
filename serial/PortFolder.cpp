#include "PortFolder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace serial {

namespace {

bool IsPrivateDirectory(const std::filesystem::path& dir) {
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

void MakeDirectory(const std::filesystem::path& dir) {
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        throw std::runtime_error("Cannot create " + dir.string() + ": " + std::strerror(errno));
}

} // namespace

std::string PortName(std::uint8_t number) {
    return "\\\\.\\COM" + std::to_string(number);
}

std::filesystem::path PortFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime)
        return std::filesystem::path(runtime) / "telmira" / "ports";
    return std::filesystem::path("/tmp") / ("telmira-" + std::to_string(::geteuid())) / "ports";
}

bool IsTrustedFolder(const std::filesystem::path& folder) {
    return IsPrivateDirectory(folder) && IsPrivateDirectory(folder.parent_path());
}

std::filesystem::path EnsurePortFolder() {
    const std::filesystem::path folder = PortFolder();
    MakeDirectory(folder.parent_path());
    MakeDirectory(folder);
    if (!IsTrustedFolder(folder))
        throw std::runtime_error(folder.string() +
                                 " is not a private folder of this user; remove it or fix its "
                                 "owner and mode");
    return folder;
}

std::vector<TPortTarget> MachinePorts() {
    return NumberedPorts("/dev", PortFolder());
}

std::filesystem::path PortDevice(std::uint8_t number) {
    return ResolvePort(number, MachinePorts()).Device;
}

} // namespace serial
