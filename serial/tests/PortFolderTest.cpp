#include "PortFolder.h"
#include "Pty.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace serial {
namespace {

namespace fs = std::filesystem;
using testing::TTempRuntimeDir;

TEST(PortFolderTest, FolderIsPerUserAndCreatedPrivate) {
    {
        TTempRuntimeDir runtime;
        EXPECT_EQ(PortFolder(), runtime.Path() / "telmira" / "ports");
        const fs::path folder = EnsurePortFolder();
        struct stat st {};
        ASSERT_EQ(::stat(folder.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        EXPECT_EQ(EnsurePortFolder(), folder) << "a second call finds the folder in place";
    }
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string restore = saved ? saved : "";
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(PortFolder(), fs::path("/tmp/telmira-" + std::to_string(::geteuid())) / "ports");
    if (saved)
        ::setenv("XDG_RUNTIME_DIR", restore.c_str(), 1);
}

// A link counts only in a folder that nobody else could have put it in.
struct TTrustCase {
    const char* rule;
    void (*spoil)(const fs::path& folder);
    bool linkUsed;
};

class PortDeviceTest : public ::testing::TestWithParam<TTrustCase> {};

TEST_P(PortDeviceTest, LinkInThePortFolderIsUsedOnlyWhenTheFolderIsPrivate) {
    TTempRuntimeDir runtime;
    const fs::path folder = EnsurePortFolder();
    fs::create_symlink("/dev/null", folder / "COM12");
    GetParam().spoil(folder);
    EXPECT_EQ(PortDevice(12), GetParam().linkUsed ? folder / "COM12" : fs::path("/dev/ttyS11"));
    EXPECT_EQ(PortDevice(3), fs::path("/dev/ttyS2")) << "no link: the numbered serial device";
}

INSTANTIATE_TEST_SUITE_P(
    Folders, PortDeviceTest,
    ::testing::Values(
        TTrustCase{"Private", [](const fs::path&) {}, true},
        TTrustCase{"WritableByOthers", [](const fs::path& f) { ::chmod(f.c_str(), 0777); }, false},
        TTrustCase{"WritableByGroup", [](const fs::path& f) { ::chmod(f.c_str(), 0770); }, false},
        TTrustCase{"ParentWritableByOthers",
                   [](const fs::path& f) { ::chmod(f.parent_path().c_str(), 0777); }, false},
        TTrustCase{"OwnedByAnotherUser",
                   [](const fs::path& f) { ASSERT_EQ(::lchown(f.c_str(), 65534, 65534), 0); },
                   false},
        TTrustCase{"FolderIsALink",
                   [](const fs::path& f) {
                       fs::rename(f, f.parent_path() / "elsewhere");
                       fs::create_directory_symlink(f.parent_path() / "elsewhere", f);
                   },
                   false}),
    [](const auto& info) { return std::string(info.param.rule); });

} // namespace
} // namespace serial
