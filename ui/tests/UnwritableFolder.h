#pragma once

#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

// A folder made unwritable for as long as this lives, and undone however a test ends, so that
// the next tests run as before. As root, who may write anywhere, the test meanwhile acts as a
// user without rights.
class TUnwritableFolder {
public:
    explicit TUnwritableFolder(const std::filesystem::path& dir) : dir_(dir) {
        ::chmod(dir_.c_str(), 0555);
        if (asRoot_)
            acting_ = ::seteuid(65534) == 0;
    }
    ~TUnwritableFolder() {
        if (acting_)
            (void)::seteuid(0);
        ::chmod(dir_.c_str(), 0755);
    }
    TUnwritableFolder(const TUnwritableFolder&) = delete;
    TUnwritableFolder& operator=(const TUnwritableFolder&) = delete;

    [[nodiscard]] bool AsRoot() const noexcept { return asRoot_; }
    // Whether the test acts as the user without rights.
    [[nodiscard]] bool Acting() const noexcept { return acting_; }

private:
    const std::filesystem::path dir_;
    const bool asRoot_ = ::geteuid() == 0;
    bool acting_ = false;
};
