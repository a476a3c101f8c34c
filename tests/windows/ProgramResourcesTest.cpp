// What Windows reads from the programs' files before running them: the version that Explorer's
// properties and the installed apps list show, the manifest, and the window's icon.

#include "cmake/TelmiraVersion.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <windows.h>

namespace {

namespace fs = std::filesystem;

fs::path Program(const char* name) {
    return fs::path(TELMIRA_BIN_DIR) / name;
}

// One string of the version information, in the program's language.
std::wstring VersionString(const fs::path& program, const wchar_t* name) {
    DWORD ignored = 0;
    std::vector<char> info(::GetFileVersionInfoSizeW(program.c_str(), &ignored));
    if (info.empty() ||
        !::GetFileVersionInfoW(program.c_str(), 0, static_cast<DWORD>(info.size()), info.data()))
        return {};
    void* value = nullptr;
    UINT length = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\041904B0\\") + name;
    if (!::VerQueryValueW(info.data(), path.c_str(), &value, &length) || length == 0)
        return {};
    return static_cast<const wchar_t*>(value);
}

// The program's resources, loaded as data, not run.
class TResources {
public:
    explicit TResources(const fs::path& program)
        : module_(::LoadLibraryExW(program.c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
    ~TResources() {
        if (module_)
            ::FreeLibrary(module_);
    }
    TResources(const TResources&) = delete;
    TResources& operator=(const TResources&) = delete;

    [[nodiscard]] bool Loaded() const noexcept { return module_ != nullptr; }

    [[nodiscard]] std::string Manifest() const {
        const HRSRC found = ::FindResourceW(module_, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
        if (!found)
            return {};
        const auto* text = static_cast<const char*>(::LockResource(::LoadResource(module_, found)));
        return {text, ::SizeofResource(module_, found)};
    }

    // The sizes of the pictures in the first icon group, 256 written as 0.
    [[nodiscard]] std::vector<int> IconSizes() const {
        const HRSRC found = ::FindResourceW(module_, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14));
        if (!found)
            return {};
        const auto* group =
            static_cast<const BYTE*>(::LockResource(::LoadResource(module_, found)));
        const int count = group[4] | group[5] << 8;
        std::vector<int> sizes;
        for (int i = 0; i < count; ++i)
            sizes.push_back(group[6 + 14 * i] == 0 ? 256 : group[6 + 14 * i]);
        return sizes;
    }

private:
    HMODULE module_;
};

void ExpectVersionAndManifest(const fs::path& program, const std::wstring& description) {
    EXPECT_EQ(VersionString(program, L"FileDescription"), description);
    EXPECT_EQ(VersionString(program, L"ProductName"), L"TELMIRA ver 1.6");
    const std::wstring version(TelmiraVersion, TelmiraVersion + sizeof TelmiraVersion - 1);
    EXPECT_EQ(VersionString(program, L"ProductVersion"), version);
    EXPECT_EQ(VersionString(program, L"FileVersion"), version);

    const TResources resources(program);
    ASSERT_TRUE(resources.Loaded());
    const std::string manifest = resources.Manifest();
    for (const char* setting : {">PerMonitorV2</dpiAwareness>", ">true/pm</dpiAware>",
                                ">true</longPathAware>", ">UTF-8</activeCodePage>"})
        EXPECT_NE(manifest.find(setting), std::string::npos) << setting;
}

TEST(ProgramResourcesTest, TelmiraDccCarriesItsVersionAndManifest) {
    ExpectVersionAndManifest(Program("telmira-dcc.exe"),
                             L"telmira-dcc: reads telmira's recordings");
}

TEST(ProgramResourcesTest, TelmiraCarriesItsVersionManifestAndIcon) {
    const fs::path program = Program("telmira.exe");
    if (!fs::exists(program))
        GTEST_SKIP() << "the window is built only with a Qt for Windows";
    ExpectVersionAndManifest(program, L"TELMIRA ver 1.6");
    const TResources resources(program);
    EXPECT_EQ(resources.IconSizes(), (std::vector<int>{16, 24, 32, 48, 64, 256}));
}

} // namespace
