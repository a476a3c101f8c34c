// Markers of a recording in a place that cannot be written to: what only POSIX permissions
// show. As root, who may write anywhere, the test drops to an unprivileged user in a child.

#include "telemetry/RecordingTimes.h"
#include "telemetry/ViewedMarkers.h"
#include "telemetry/tests/CompanionFixtures.h"

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace telemetry {
namespace {

using testing::TTempFolder;
using testing::WriteFile;

// fn's result, run as an unprivileged user: in a child process when this one is root.
int AsUnprivileged(const std::function<int()>& fn) {
    if (::geteuid() != 0)
        return fn();
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(100);
        ::_exit(fn());
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// Adds a marker and tells how that went: 0 when it stayed in the list and the reason it was not
// saved is that the place cannot be written to.
int AddWhereNothingCanBeWritten(const std::string& recording, std::span<const std::uint8_t> bytes) {
    TViewedMarkers markers(recording, ReadRecordingTimes(recording, bytes));
    const std::size_t before = markers.Markers().size();
    markers.Add(10, "не сохранится");
    if (markers.Markers().size() != before + 1 || !markers.SaveFailure())
        return 1;
    return markers.SaveFailure()->Failure() == TCompanionWriteFailure::ReadOnly ? 0 : 2;
}

TEST(ViewedMarkersInAReadOnlyPlace, StayInTheListAndTheFailureSaysTheyCannotBeSaved) {
    const TTempFolder folder;
    const std::string recording = (folder.Path() / "run.dcc").string();
    const std::vector<std::uint8_t> bytes(900, 0x11);
    WriteFile(recording, bytes);
    ::chmod(recording.c_str(), 0644);

    // A folder nobody may write to: no companion can be made.
    ASSERT_EQ(::chmod(folder.Path().c_str(), 0555), 0);
    EXPECT_EQ(AsUnprivileged([&] { return AddWhereNothingCanBeWritten(recording, bytes); }), 0);
    EXPECT_FALSE(std::filesystem::exists(CompanionPath(recording)));

    // A companion nobody may write to.
    ASSERT_EQ(::chmod(folder.Path().c_str(), 0755), 0);
    TViewedMarkers(recording, ReadRecordingTimes(recording, bytes)).Add(5, "сохранена");
    const auto companion = CompanionPath(recording);
    ASSERT_TRUE(std::filesystem::exists(companion));
    ::chmod(companion.c_str(), 0444);
    EXPECT_EQ(AsUnprivileged([&] { return AddWhereNothingCanBeWritten(recording, bytes); }), 0);
    EXPECT_EQ(ReadRecordingTimes(recording, bytes).Markers().size(), 1u);
}

} // namespace
} // namespace telemetry
