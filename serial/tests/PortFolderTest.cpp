#include "serial/PortFolder.h"
#include "serial/tests/Pty.h"

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

TEST(PortDeviceTest, WithoutAPortFolderAPortIsTheNumberedSerialDevice) {
    TTempRuntimeDir runtime;
    EXPECT_EQ(PortDevice(3), fs::path("/dev/ttyS2"));
    fs::create_directory(runtime.Path() / "telmira");
    EXPECT_EQ(PortDevice(12), fs::path("/dev/ttyS11"));
}

// A link counts only in a folder that nobody else could have put it in, and a folder that
// somebody else could have set up refuses every port rather than let another device stand in.
struct TTrustCase {
    const char* rule;
    void (*spoil)(const fs::path& folder);
    const char* reason;      // nullptr: the folder is trusted
    const char* explanation; // what the user is told, in Russian
};

class PortDeviceTrustTest : public ::testing::TestWithParam<TTrustCase> {};

TEST_P(PortDeviceTrustTest, LinkIsUsedOnlyInAPrivateFolderAndAnyOtherFolderRefusesThePort) {
    TTempRuntimeDir runtime;
    const fs::path folder = EnsurePortFolder();
    fs::create_symlink("/dev/null", folder / "COM12");
    GetParam().spoil(folder);
    if (!GetParam().reason) {
        EXPECT_EQ(PortDevice(12), folder / "COM12");
        EXPECT_EQ(PortDevice(3), fs::path("/dev/ttyS2")) << "no link: the numbered serial device";
        return;
    }
    for (const std::uint8_t number : {12, 3}) {
        try {
            const fs::path device = PortDevice(number);
            ADD_FAILURE() << "port " << int(number) << " went to " << device;
        } catch (const EPortRefused& e) {
            EXPECT_NE(std::string(e.what()).find(GetParam().reason), std::string::npos) << e.what();
            EXPECT_NE(e.Explanation().find(GetParam().explanation), std::string::npos)
                << e.Explanation();
            EXPECT_TRUE(e.Explanation().ends_with("удалите её или исправьте владельца и права "
                                                  "доступа."))
                << "and what to do about it";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Folders, PortDeviceTrustTest,
    ::testing::Values(
        TTrustCase{"Private", [](const fs::path&) {}, nullptr, nullptr},
        TTrustCase{"WritableByOthers", [](const fs::path& f) { ::chmod(f.c_str(), 0777); },
                   "ports is writable by other users", "ports могут писать другие пользователи."},
        TTrustCase{"WritableByGroup", [](const fs::path& f) { ::chmod(f.c_str(), 0770); },
                   "ports is writable by other users", "ports могут писать другие пользователи."},
        TTrustCase{"ParentWritableByOthers",
                   [](const fs::path& f) { ::chmod(f.parent_path().c_str(), 0777); },
                   "telmira is writable by other users",
                   "telmira могут писать другие пользователи."},
        TTrustCase{"OwnedByAnotherUser",
                   [](const fs::path& f) { ASSERT_EQ(::lchown(f.c_str(), 65534, 65534), 0); },
                   "ports belongs to another user", "ports принадлежит другому пользователю."},
        TTrustCase{"FolderIsALink",
                   [](const fs::path& f) {
                       fs::rename(f, f.parent_path() / "elsewhere");
                       fs::create_directory_symlink(f.parent_path() / "elsewhere", f);
                   },
                   "ports is a link", "ports — ссылка, а не папка."}),
    [](const auto& info) { return std::string(info.param.rule); });

} // namespace
} // namespace serial
