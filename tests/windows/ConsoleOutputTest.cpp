// A window program started from a console, as when a user types `telmira --help` in one,
// prints into that console, although Windows gives it no standard handles of its own.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include <windows.h>

namespace {

namespace fs = std::filesystem;

// What the test's console shows, row after row; nothing when its screen cannot be read (Wine
// without a display keeps no screen).
std::optional<std::wstring> ScreenText() {
    const HANDLE screen =
        ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (screen == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::optional<std::wstring> text;
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (::GetConsoleScreenBufferInfo(screen, &info)) {
        text.emplace(static_cast<std::size_t>(info.dwSize.X) * info.dwSize.Y, L' ');
        DWORD read = 0;
        ::ReadConsoleOutputCharacterW(screen, text->data(), static_cast<DWORD>(text->size()),
                                      {0, 0}, &read);
        text->resize(read);
    }
    ::CloseHandle(screen);
    return text;
}

// A console of the test's own, fresh, whatever the test was started with.
class ConsoleOutputTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::FreeConsole();
        ASSERT_TRUE(::AllocConsole());
        if (!ScreenText())
            GTEST_SKIP() << "this console's screen cannot be read (Wine without a display)";
    }
    void TearDown() override { ::FreeConsole(); }

    // Runs the program from this console as Windows starts a window program from one: without
    // standard handles. Returns what the console then shows.
    static std::wstring RunFromConsole(const fs::path& program, const std::wstring& arguments) {
        std::wstring command = L"\"" + program.wstring() + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        PROCESS_INFORMATION process{};
        if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &process))
            return {};
        ::WaitForSingleObject(process.hProcess, 60'000);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
        return ScreenText().value_or(L"");
    }
};

TEST_F(ConsoleOutputTest, AWindowProgramPrintsItsOutputAndErrorsIntoTheConsole) {
    const std::wstring screen = RunFromConsole(CONSOLE_PROBE, L"");
    EXPECT_NE(screen.find(L"вывод: справка"), std::wstring::npos);
    EXPECT_NE(screen.find(L"ошибка: жалоба"), std::wstring::npos);
}

TEST_F(ConsoleOutputTest, TelmiraPrintsItsHelpAndVersionIntoTheConsole) {
    const fs::path telmira = fs::path(TELMIRA_BIN_DIR) / "telmira.exe";
    if (!fs::exists(telmira))
        GTEST_SKIP() << "the window is built only with a Qt for Windows";
    EXPECT_NE(RunFromConsole(telmira, L"--help").find(L"Использование: telmira"),
              std::wstring::npos);
    EXPECT_NE(RunFromConsole(telmira, L"--version").find(L"TELMIRA ver 1.6"), std::wstring::npos);
}

} // namespace
