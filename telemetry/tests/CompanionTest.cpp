// The companion beside a recording: the checkpoints a session writes, what the reader makes
// of any companion beside any recording, what a session's writer leaves in the file, and
// markers added while a recording is viewed.

#include "telemetry/ArrivalCheckpoints.h"
#include "telemetry/CompanionFile.h"
#include "telemetry/CompanionWriter.h"
#include "telemetry/RecordingFile.h"
#include "telemetry/RecordingTimes.h"
#include "telemetry/ViewedMarkers.h"
#include "telemetry/WriterClaim.h"
#include "telemetry/tests/CompanionFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <random>

namespace telemetry {
namespace {

using testing::ReadFile;
using testing::TCompanionBuilder;
using testing::TTempFolder;
using testing::WriteFile;
using TClock = std::chrono::steady_clock;

constexpr double MicrosPerByte = 1e6 / LineBytesPerSecond;

std::vector<std::uint8_t> SomeBytes(std::size_t size, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(random());
    return bytes;
}

// The reader over a companion, fed the recording in pieces of every size.
TRecordingTimes Read(std::span<const std::uint8_t> companion,
                     std::span<const std::uint8_t> recording) {
    TCompanionCheck check(
        TCompanionBytes{TCompanionBytes::TFound::Read, {companion.begin(), companion.end()}});
    std::mt19937 random(7);
    while (!recording.empty()) {
        const std::size_t n = std::min<std::size_t>(recording.size(), random() % 700);
        check.Feed(recording.first(n));
        recording = recording.subspan(n);
    }
    return check.Finish();
}

// ----- CRC-32C -----

TEST(Crc32cTest, IsCastagnolisCrcWhateverPiecesAndWithOrWithoutTheInstruction) {
    const std::string check = "123456789";
    const std::span<const std::uint8_t> nine(reinterpret_cast<const std::uint8_t*>(check.data()),
                                             check.size());
    EXPECT_EQ(Crc32c(nine), 0xE3069283u);
    EXPECT_EQ(Crc32cUpdateByTables(0, nine), 0xE3069283u);
    EXPECT_EQ(Crc32c({}), 0u);
    const auto bytes = SomeBytes(1000, 2);
    for (std::size_t cut : {0, 1, 7, 8, 9, 500, 999, 1000}) {
        const std::span<const std::uint8_t> all(bytes);
        const std::uint32_t whole = Crc32cUpdateByTables(0, all);
        EXPECT_EQ(Crc32cUpdate(Crc32cUpdate(0, all.first(cut)), all.subspan(cut)), whole) << cut;
        EXPECT_EQ(Crc32cUpdateByTables(Crc32cUpdateByTables(0, all.first(cut)), all.subspan(cut)),
                  whole)
            << cut;
    }
}

// ----- Checkpoints: every byte's time within the tolerances, few of them -----

struct TBlock {
    std::uint64_t Size;
    std::int64_t Micros; // read at
};

using TBlocks = std::vector<TBlock>;

// Blocks of size bytes every period microseconds for seconds, each read up to jitter late.
TBlocks Steady(std::int64_t from, std::uint64_t size, double period, double seconds,
               std::int64_t jitter = 0, std::uint32_t seed = 1) {
    std::mt19937 random(seed);
    TBlocks blocks;
    for (double t = 0; t < seconds * 1e6; t += period)
        blocks.push_back({size, from + static_cast<std::int64_t>(t) +
                                    (jitter ? static_cast<std::int64_t>(random() % jitter) : 0)});
    return blocks;
}

TBlocks Joined(std::initializer_list<TBlocks> parts) {
    TBlocks all;
    for (const TBlocks& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Frames at the line rate, read one at a time but now and then up to 50 ms late, as a reader
// thread on a busy machine reads them: a late read takes every frame that came meanwhile.
TBlocks ReadLateNowAndThen() {
    const TBlocks frames = Steady(1'000'000, 9, 1562.5, 60);
    std::mt19937 random(5);
    TBlocks blocks;
    for (std::size_t k = 0; k < frames.size();) {
        const std::int64_t read = frames[k].Micros + (k % 17 == 0 ? random() % 50'000 : 0);
        std::uint64_t size = 0;
        for (; k < frames.size() && frames[k].Micros <= read; ++k)
            size += frames[k].Size;
        blocks.push_back({size, read});
    }
    return blocks;
}

// Frames at the line rate and at nine tenths of it, half a second each, for twenty seconds.
TBlocks PaceChanging() {
    TBlocks blocks;
    for (int half = 0; half < 40; ++half) {
        const TBlocks part = Steady(1'000'000 + half * 500'000, 9, half % 2 ? 1736 : 1562.5, 0.5);
        blocks.insert(blocks.end(), part.begin(), part.end());
    }
    return blocks;
}

struct TArrivalCase {
    const char* Name;
    TBlocks Blocks;
    bool Steady; // a stream at one pace: a checkpoint a second, under 1 % of the bytes
};

// When each byte came, as a session can tell: at the line rate up to its block's read, never
// before the previous block's read.
std::vector<double> ArrivalModel(const TBlocks& blocks) {
    std::vector<double> at{0};
    double previous = 0;
    for (const TBlock& block : blocks) {
        const double read = std::max<double>(static_cast<double>(block.Micros), previous);
        for (std::uint64_t k = block.Size; k-- > 0;)
            at.push_back(std::max(previous, read - static_cast<double>(k) * MicrosPerByte));
        previous = read;
    }
    return at;
}

void PrintTo(const TArrivalCase& c, std::ostream* out) {
    *out << c.Name;
}

class ArrivalCheckpointsTest : public ::testing::TestWithParam<TArrivalCase> {};

TEST_P(ArrivalCheckpointsTest, EveryByteReadsBackWithinTheToleranceFromFewCheckpoints) {
    const TBlocks& blocks = GetParam().Blocks;
    TArrivalCheckpoints rule;
    std::vector<TCheckpoint> checkpoints;
    std::uint64_t end = 0;
    for (const TBlock& block : blocks) {
        end += block.Size;
        rule.Block(end, block.Size, block.Micros, checkpoints);
    }
    rule.Flush(checkpoints);
    ASSERT_FALSE(checkpoints.empty());
    EXPECT_EQ(checkpoints.back().Offset, end);

    const auto recording = SomeBytes(end, 3);
    TCompanionBuilder companion(recording);
    companion.Start();
    for (const TCheckpoint& c : checkpoints)
        companion.Checkpoint(c.Offset, c.Micros);
    const TRecordingTimes times = Read(companion.bytes, recording);
    ASSERT_EQ(times.State(), TCompanionState::Complete);

    // A byte's time may be off by the tolerances, and by less than a byte where a line bends.
    const std::vector<double> model = ArrivalModel(blocks);
    TTimeCursor cursor(times);
    double earliest = 0, latest = 0;
    for (std::uint64_t o = 1; o <= end; ++o) {
        const TByteTime t = cursor.At(o);
        ASSERT_TRUE(t.Measured) << o;
        earliest = std::min(earliest, t.Seconds * 1e6 - model[o]);
        latest = std::max(latest, t.Seconds * 1e6 - model[o]);
    }
    EXPECT_GE(earliest, -(EarlyTolerance + MicrosPerByte + 1));
    EXPECT_LE(latest, LateTolerance + MicrosPerByte + 1);

    if (GetParam().Steady) {
        for (std::size_t k = 1; k < checkpoints.size(); ++k)
            EXPECT_LE(checkpoints[k].Micros - checkpoints[k - 1].Micros, MaxCheckpointSpan);
        EXPECT_LE(static_cast<double>(companion.bytes.size()), 0.01 * static_cast<double>(end))
            << checkpoints.size() << " checkpoints";
    }
}

// Line rate: 5760 bytes a second, a 9-byte frame every 1562.5 us.
INSTANTIATE_TEST_SUITE_P(
    Streams, ArrivalCheckpointsTest,
    ::testing::Values(
        TArrivalCase{"FramesAtTheLineRate", Steady(1'000'000, 9, 1562.5, 60), true},
        TArrivalCase{"FramesReadUpToTwoMillisecondsLate", Steady(1'000'000, 9, 1562.5, 60, 2000),
                     true},
        TArrivalCase{"FramesReadLateNowAndThen", ReadLateNowAndThen(), true},
        TArrivalCase{"TenMillisecondChunks", Steady(1'000'000, 58, 10069.4, 60, 1000), true},
        TArrivalCase{"HalfTheLineRate", Steady(1'000'000, 9, 3125, 60), true},
        TArrivalCase{"PaceChangingEveryHalfSecond", PaceChanging(), false},
        TArrivalCase{"APauseOfThreeSeconds",
                     Joined({Steady(1'000'000, 9, 1562.5, 2), Steady(6'000'000, 9, 1562.5, 2)}),
                     false},
        TArrivalCase{"BytesPiledUpWhileTheReaderWasBusy",
                     Joined({Steady(1'000'000, 9, 1562.5, 2),
                             {{1728, 3'300'000}},
                             Steady(3'301'600, 9, 1562.5, 2)}),
                     false},
        TArrivalCase{"ABurstFasterThanTheLine",
                     Joined({{{36000, 1'000'000}}, Steady(1'010'000, 9, 1562.5, 2)}), false},
        TArrivalCase{"AFrameEveryTwoSeconds", Steady(1'000'000, 9, 2'000'000, 20), false}),
    [](const auto& info) { return std::string(info.param.Name); });

// ----- The reader: what is used, what is never applied -----

const std::vector<std::uint8_t>& FourSeconds() {
    static const std::vector<std::uint8_t> recording = SomeBytes(4 * 5760, 11);
    return recording;
}

// Four seconds of stream with a pause of three seconds after the first, closed unless asked.
TCompanionBuilder Session(bool closed = true) {
    TCompanionBuilder c(FourSeconds());
    c.Start()
        .Checkpoint(0, 0)
        .Checkpoint(5760, 1'000'000)
        .Marker(1, 100, "стук")
        .Checkpoint(5760, 4'000'000)
        .Checkpoint(11520, 5'000'000)
        .Event(TSessionEventKind::PortLost, 11520, 5'100'000)
        .Checkpoint(23040, 7'000'000);
    if (closed)
        c.Event(TSessionEventKind::SessionClosed, 23040, 7'000'100);
    return c;
}

std::vector<std::uint8_t> With(std::vector<std::uint8_t> bytes, std::size_t at,
                               std::uint8_t value) {
    bytes[at] = value;
    return bytes;
}

std::vector<std::uint8_t> Plus(std::vector<std::uint8_t> bytes, std::size_t more) {
    const auto added = SomeBytes(more, 99);
    bytes.insert(bytes.end(), added.begin(), added.end());
    return bytes;
}

class CompanionReading : public ::testing::Test {
protected:
    const std::vector<std::uint8_t>& recording = FourSeconds();
};

TEST_F(CompanionReading, ACompanionOfThisRecordingTimesEveryByteAcrossAPause) {
    const TRecordingTimes times = Read(Session().bytes, recording);
    EXPECT_EQ(times.State(), TCompanionState::Complete);
    ASSERT_TRUE(times.Start());
    EXPECT_EQ(times.Start()->UtcMicros, 1'700'000'000'000'000);
    EXPECT_EQ(times.At(0), (TByteTime{0, true}));
    EXPECT_EQ(times.At(2880), (TByteTime{0.5, true}));
    EXPECT_EQ(times.At(5760), (TByteTime{1.0, true})) << "the last byte before the pause";
    EXPECT_NEAR(times.At(5761).Seconds, 4.0 + 1 / 5760.0, 1e-9) << "the first after it";
    EXPECT_EQ(times.At(17280), (TByteTime{6.0, true}));
    EXPECT_EQ(times.Duration(), (TByteTime{7.0, true}));
    EXPECT_EQ(times.Markers(), (std::vector<TMarker>{{1, 100, TMarkerOrigin::Live, "стук"}}));
    ASSERT_EQ(times.Events().size(), 2u);
    EXPECT_EQ(times.Events()[0], (TSessionEvent{TSessionEventKind::PortLost, 11520, 5'100'000, 0}));
    EXPECT_EQ(times.Events()[1].Kind, TSessionEventKind::SessionClosed);
}

TEST_F(CompanionReading, BytesTheCompanionDoesNotTimeGoOnAtTheLineRate) {
    // Killed: the recording kept bytes its companion had no checkpoint for yet.
    const auto longer = Plus(recording, 576);
    const TRecordingTimes killed = Read(Session(false).bytes, longer);
    EXPECT_EQ(killed.State(), TCompanionState::CutOff);
    EXPECT_EQ(killed.At(23040), (TByteTime{7.0, true}));
    EXPECT_NEAR(killed.Duration().Seconds, 7.1, 1e-9);
    EXPECT_FALSE(killed.Duration().Measured);

    // Closed, and written to afterwards by something else.
    const TRecordingTimes appended = Read(Session().bytes, longer);
    EXPECT_EQ(appended.State(), TCompanionState::Appended);
    EXPECT_EQ(appended.At(23040), (TByteTime{7.0, true}));
    EXPECT_NEAR(appended.At(23040 + 288).Seconds, 7.05, 1e-9);
    EXPECT_EQ(appended.Markers().size(), 1u) << "markers and events stay";
    EXPECT_EQ(appended.Events().size(), 2u);
}

TEST_F(CompanionReading, ARecordCutShortAtTheEndIsLeftOut) {
    auto bytes = Session().bytes;
    bytes.resize(bytes.size() - 3); // the closing event, cut in its check
    const TRecordingTimes times = Read(bytes, recording);
    EXPECT_EQ(times.State(), TCompanionState::Complete);
    EXPECT_EQ(times.Events().size(), 1u);
    EXPECT_EQ(times.CompanionEnd().FileLength, bytes.size());
    EXPECT_EQ(times.CompanionEnd().WholeLength, Session(false).bytes.size());
}

TEST_F(CompanionReading, ADamagedRecordEndsWhatIsUsedAndTheRestIsEstimated) {
    const std::size_t before = Session().bytes.size();
    TCompanionBuilder c = Session(false);
    const std::size_t afterCheckpoint = c.bytes.size();
    c.Marker(2, 20000, "после");
    auto bytes = c.bytes;
    bytes[afterCheckpoint - 5] ^= 0x40; // in the last checkpoint's CRC of the recording
    const TRecordingTimes times = Read(bytes, recording);
    EXPECT_EQ(times.State(), TCompanionState::Damaged);
    EXPECT_EQ(times.Checkpoints().size(), 4u);
    EXPECT_TRUE(times.At(11520).Measured);
    EXPECT_FALSE(times.At(11521).Measured);
    EXPECT_EQ(times.Markers().size(), 1u) << "the marker after the damage is not read";
    EXPECT_LT(times.CompanionEnd().WholeLength, before);
}

TEST_F(CompanionReading, RecordsOfKindsUnknownHereArePassedOver) {
    TCompanionBuilder c = Session();
    std::vector<std::uint8_t> unknown = {'Z', 3, 1, 2, 3};
    const std::uint32_t crc = Crc32c(unknown);
    for (int shift = 0; shift < 32; shift += 8)
        unknown.push_back(static_cast<std::uint8_t>(crc >> shift));
    const auto beforeClosing =
        c.bytes.begin() + static_cast<std::ptrdiff_t>(Session(false).bytes.size());
    c.bytes.insert(beforeClosing, unknown.begin(), unknown.end());
    const TRecordingTimes times = Read(c.bytes, recording);
    EXPECT_EQ(times.State(), TCompanionState::Complete);
    EXPECT_EQ(times.Events().size(), 2u);
}

TEST_F(CompanionReading, MarkersAndEventsPastTheRecordingsEndAreLeftOut) {
    TCompanionBuilder c = Session();
    c.Marker(2, 23041, "после конца").Event(TSessionEventKind::PortBack, 23041, 8'000'000);
    const TRecordingTimes times = Read(c.bytes, recording);
    EXPECT_EQ(times.Markers().size(), 1u);
    EXPECT_EQ(times.Events().size(), 2u);
    EXPECT_EQ(times.CompanionEnd().NextMarker, 3) << "its number stays taken";
}

struct TUnusableCase {
    const char* Name;
    TCompanionState State;
    TCompanionBytes Companion;
    std::vector<std::uint8_t> Recording = FourSeconds();
};

void PrintTo(const TUnusableCase& c, std::ostream* out) {
    *out << c.Name;
}

class UnusableCompanion : public ::testing::TestWithParam<TUnusableCase> {};

TEST_P(UnusableCompanion, IsNeverAppliedAndTheTimesAreEstimated) {
    const TUnusableCase& c = GetParam();
    TCompanionCheck check(c.Companion);
    check.Feed(c.Recording);
    const TRecordingTimes times = check.Finish();
    EXPECT_EQ(times.State(), c.State) << CompanionStateText(times.State());
    EXPECT_FALSE(times.Used());
    EXPECT_FALSE(times.Start());
    EXPECT_TRUE(times.Markers().empty());
    EXPECT_TRUE(times.Events().empty());
    EXPECT_EQ(times.At(5760), (TByteTime{1.0, false}));
    EXPECT_EQ(times.Duration(), (TByteTime{c.Recording.size() / 5760.0, false}));
}

TCompanionBytes Found(std::vector<std::uint8_t> bytes) {
    return {TCompanionBytes::TFound::Read, std::move(bytes)};
}

std::vector<TUnusableCase> UnusableCases() {
    using S = TCompanionState;
    using F = TCompanionBytes::TFound;
    const auto session = Session().bytes;
    const auto& r = FourSeconds();
    TCompanionBuilder startOnly(r);
    startOnly.Start().Checkpoint(0, 0);
    return {
        {"Missing", S::Missing, {F::Missing, {}}},
        {"Unreadable", S::Unreadable, {F::Unreadable, {}}},
        {"TooLargeToBeOne", S::Unreadable, {F::TooLarge, {}}},
        {"Empty", S::Short, Found({})},
        {"HeaderCutShort", S::Short, Found({'T', 'L', 'M'})},
        {"StartOnly", S::Short, Found(startOnly.bytes)},
        {"NotACompanion", S::Garbled, Found(SomeBytes(300, 5))},
        {"VersionZero", S::Garbled, Found(With(session, 4, 0))},
        {"NewerFormat", S::NewerFormat, Found(With(session, 4, 2))},
        {"FirstRecordDamaged", S::Garbled, Found(With(session, 9, 0x33))},
        {"OfAnotherRecording", S::Foreign, Found(session), SomeBytes(r.size(), 12)},
        {"RecordingChangedInTheMiddle", S::Foreign, Found(session),
         With(r, 15000, static_cast<std::uint8_t>(r[15000] ^ 1))},
        {"RecordingCutShort", S::Foreign, Found(session), {r.begin(), r.end() - 1}},
    };
}

INSTANTIATE_TEST_SUITE_P(Companions, UnusableCompanion, ::testing::ValuesIn(UnusableCases()),
                         [](const auto& info) { return std::string(info.param.Name); });

// ----- The session's writer -----

class CompanionWriting : public ::testing::Test {
protected:
    TTempFolder folder;
    const std::string recordingPath = (folder.Path() / "run.dcc").string();
    const TClock::time_point start = TClock::now();
    std::vector<std::uint8_t> recording;
    TBlockDecoded decoded;

    static TClock::time_point::duration Us(std::int64_t micros) {
        return std::chrono::duration_cast<TClock::duration>(std::chrono::microseconds(micros));
    }
    // A block of the stream read at micros after the start, and handled then or at handled.
    void Block(TCompanionWriter& writer, std::size_t size, std::int64_t micros,
               std::optional<std::int64_t> handled = std::nullopt) {
        const auto bytes = SomeBytes(size, static_cast<std::uint32_t>(recording.size()));
        recording.insert(recording.end(), bytes.begin(), bytes.end());
        writer.Block(bytes, start + Us(micros), decoded, start + Us(handled.value_or(micros)));
    }
    TRecordingTimes ReadBack() const {
        WriteFile(recordingPath, recording);
        return ReadRecordingTimes(recordingPath, recording);
    }
};

TEST_F(CompanionWriting, CheckpointsReachTheFileOnlyWhenTheRecordingIsSyncedTooAndMarkersAtOnce) {
    TCompanionWriter writer(recordingPath, start);
    ASSERT_FALSE(writer.Failure());
    const std::string companion = CompanionPath(recordingPath);
    const auto started = std::filesystem::file_size(companion);
    for (int k = 0; k < 1500; ++k) // 2.3 s of frames, handled at once after a stall
        Block(writer, 9, 1000 + k * 1562, 2'345'000);
    EXPECT_EQ(std::filesystem::file_size(companion), started) << "no sync was due yet";

    writer.SyncIfDue(start + Us(2'345'000) + SyncAfter);
    WriteFile(recordingPath, recording);
    const TRecordingTimes synced = ReadRecordingTimes(recordingPath, recording);
    EXPECT_EQ(synced.State(), TCompanionState::CutOff);
    EXPECT_GE(synced.Checkpoints().size(), 3u) << "at least one a second";

    const auto beforeMarker = std::filesystem::file_size(companion);
    EXPECT_EQ(writer.AddMarker("пропуск"), 1);
    EXPECT_GT(std::filesystem::file_size(companion), beforeMarker);
}

TEST_F(CompanionWriting, ASessionReadsBackWithItsTimesEventsAndMarkers) {
    std::vector<std::pair<std::uint64_t, std::int64_t>> ends; // each block's end and read
    std::vector<TSessionEvent> listed;                        // what the window was given
    {
        TCompanionWriter writer(recordingPath, start);
        std::int64_t t = 500'000;
        const auto block = [&](std::size_t size) {
            Block(writer, size, t);
            ends.emplace_back(recording.size(), t);
        };
        decoded = {1, 0, 3};
        block(9);
        for (int k = 0; k < 640; ++k, t += 1562)
            block(9);
        decoded = {1, 5, 4}; // curve 3 to 4, and bytes skipped
        block(14);
        t += 100'000;
        decoded = {1, 8, 4};
        block(12); // more skipped within the second: told later, added up
        writer.PortLost(start + Us(t + 1000));
        t += 2'000'000;
        writer.PortBack(start + Us(t));
        t += 20'000;
        for (int k = 0; k < 640; ++k, t += 1562)
            block(9);
        const int first = writer.AddMarker("первая");
        const int second = writer.AddMarker("вторая");
        EXPECT_TRUE(writer.RenameMarker(first, "стук"));
        EXPECT_TRUE(writer.DeleteMarker(second));
        EXPECT_FALSE(writer.DeleteMarker(7));
        writer.Close(start + Us(t + 5000));
        EXPECT_FALSE(writer.Failure());
        listed = writer.Events();
    }
    const TRecordingTimes times = ReadBack();
    ASSERT_EQ(times.State(), TCompanionState::Complete);
    for (const auto& [end, micros] : ends) {
        const double off = times.At(end).Seconds * 1e6 - static_cast<double>(micros);
        ASSERT_TRUE(off >= -EarlyTolerance && off <= LateTolerance) << end << ": " << off;
    }

    const std::uint64_t size = recording.size();
    using K = TSessionEventKind;
    const std::vector<TSessionEventKind> kinds = {K::CurveChanged, K::BytesSkipped,
                                                  K::BytesSkipped, K::PortLost,
                                                  K::PortBack,     K::SessionClosed};
    std::vector<TSessionEventKind> read;
    for (const TSessionEvent& e : times.Events())
        read.push_back(e.Kind);
    ASSERT_EQ(read, kinds);
    EXPECT_EQ(times.Events()[0].Value, 4u);
    EXPECT_EQ(times.Events()[1].Value, 5u);
    EXPECT_EQ(times.Events()[2].Value, 3u) << "skipped within a second of the last told are "
                                              "told together, at the latest when the port goes";
    EXPECT_EQ(times.Events()[3].Offset, times.Events()[4].Offset);
    EXPECT_NEAR(static_cast<double>(times.Events()[4].Micros - times.Events()[3].Micros),
                2e6 - 1000, 1);
    EXPECT_EQ(times.Events()[5].Offset, size);
    EXPECT_EQ(listed, times.Events()) << "the live list and the file agree";
    EXPECT_EQ(times.Markers(), (std::vector<TMarker>{{1, size, TMarkerOrigin::Live, "стук"}}));
    EXPECT_EQ(times.CompanionEnd().NextMarker, 3);
}

TEST_F(CompanionWriting, ACompanionHeldElsewhereIsLeftOutAndTheSessionGoesOn) {
    TCompanionFile other(CompanionPath(recordingPath), TCompanionFile::TOpening::New);
    TCompanionWriter writer(recordingPath, start);
    ASSERT_TRUE(writer.Failure());
    EXPECT_NE(writer.Failure()->find("being written"), std::string::npos) << *writer.Failure();
    Block(writer, 9, 1000);
    EXPECT_EQ(writer.AddMarker("всё равно"), 1) << "the session keeps its markers";
    EXPECT_EQ(writer.Markers().back().Offset, 9u) << "at the newest frame all the same";
    writer.PortLost(start + Us(3000));
    writer.Close(start + Us(5000));
    ASSERT_EQ(writer.Events().size(), 2u) << "and its events";
    EXPECT_EQ(writer.Events()[0].Kind, TSessionEventKind::PortLost);
    EXPECT_EQ(writer.Events()[1].Kind, TSessionEventKind::SessionClosed);
    EXPECT_EQ(writer.Events()[1].Offset, 9u);
    EXPECT_TRUE(other.ReadAll().empty()) << "the other's file is left alone";
}

// The companion is held by the claim every writer of ours takes, whichever side comes first.
TEST_F(CompanionWriting, TheCompanionAndAnotherWriterOfOursNeverWriteOneFileTogether) {
    const std::string companion = CompanionPath(recordingPath);
    {
        const TWriterClaim program(companion);
        TCompanionWriter writer(recordingPath, start);
        ASSERT_TRUE(writer.Failure());
        EXPECT_NE(writer.Failure()->find("being written"), std::string::npos) << *writer.Failure();
    }
    TCompanionWriter writer(recordingPath, start);
    ASSERT_FALSE(writer.Failure()) << *writer.Failure();
    const auto written = ReadFile(companion);
    EXPECT_THROW(TWriterClaim{companion}, EFileBeingWritten);
    EXPECT_EQ(ReadFile(companion), written) << "the refused writer left the companion alone";
}

// ----- Markers added while viewing -----

class ViewedMarkersTest : public CompanionWriting {
protected:
    // A live session's companion beside the recording, closed.
    void RecordSession() {
        TCompanionWriter writer(recordingPath, start);
        for (int k = 0; k < 2000; ++k)
            Block(writer, 9, 1000 + k * 1562);
        writer.AddMarker("в дороге");
        writer.Close(start + Us(3'200'000));
        WriteFile(recordingPath, recording);
    }
    TRecordingTimes Opened() const { return ReadRecordingTimes(recordingPath, recording); }
};

TEST_F(ViewedMarkersTest, ChangesAreAppendedAtOnceAndSurviveReopening) {
    RecordSession();
    const auto companion = CompanionPath(recordingPath);
    const auto before = ReadFile(companion);
    {
        TViewedMarkers markers(recordingPath, Opened());
        EXPECT_EQ(markers.Add(900, "дома"), 2);
        EXPECT_EQ(markers.Add(1800, ""), 3);
        EXPECT_TRUE(markers.Rename(3, "переименована"));
        EXPECT_TRUE(markers.Delete(1));
        EXPECT_FALSE(markers.Rename(1, "удалённая"));
        EXPECT_FALSE(markers.SaveFailure());
    }
    const auto after = ReadFile(companion);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), after.begin())) << "only appended";

    const TRecordingTimes reopened = Opened();
    EXPECT_EQ(reopened.State(), TCompanionState::Complete) << "the times stay measured";
    EXPECT_EQ(reopened.Markers(),
              (std::vector<TMarker>{{2, 900, TMarkerOrigin::Viewing, "дома"},
                                    {3, 1800, TMarkerOrigin::Viewing, "переименована"}}));
    TViewedMarkers again(recordingPath, reopened);
    EXPECT_EQ(again.Add(10, std::string(300, 'x')), 4) << "a deleted number is not given again";
    EXPECT_EQ(again.Markers().back().Text.size(), MaxMarkerText);
}

TEST_F(ViewedMarkersTest, ARecordingWithoutACompanionGetsOneThatTiesItsBytes) {
    recording = SomeBytes(10000, 4);
    WriteFile(recordingPath, recording);
    const TRecordingTimes none = Opened();
    ASSERT_EQ(none.State(), TCompanionState::Missing);
    TViewedMarkers(recordingPath, none).Add(5000, "отсюда");

    const TRecordingTimes reopened = Opened();
    EXPECT_EQ(reopened.State(), TCompanionState::Untimed);
    EXPECT_EQ(reopened.At(5760), (TByteTime{1.0, false})) << "times are still estimated";
    EXPECT_EQ(reopened.Markers().size(), 1u);
    // Beside a rewritten recording, those markers are not shown.
    recording[0] ^= 1;
    WriteFile(recordingPath, recording);
    EXPECT_EQ(Opened().State(), TCompanionState::Foreign);
}

TEST_F(ViewedMarkersTest, ARecordingAddedToAfterItsSessionGetsItsNewBytesTied) {
    RecordSession();
    const auto more = SomeBytes(3000, 8);
    recording.insert(recording.end(), more.begin(), more.end());
    WriteFile(recordingPath, recording);
    const TRecordingTimes appended = Opened();
    ASSERT_EQ(appended.State(), TCompanionState::Appended);
    TViewedMarkers(recordingPath, appended).Add(recording.size() - 10, "в добавленном");

    const TRecordingTimes reopened = Opened();
    EXPECT_EQ(reopened.State(), TCompanionState::Appended);
    EXPECT_EQ(reopened.Markers().size(), 2u);
    EXPECT_EQ(reopened.CompanionEnd().TiedTo, recording.size());
}

TEST_F(ViewedMarkersTest, ARecordCutShortByADyingSessionIsDroppedBeforeAppending) {
    RecordSession();
    const auto companion = CompanionPath(recordingPath);
    auto bytes = ReadFile(companion);
    bytes.resize(bytes.size() - 7);
    WriteFile(companion, bytes);
    TViewedMarkers markers(recordingPath, Opened());
    markers.Add(100, "после обрыва");
    EXPECT_FALSE(markers.SaveFailure());
    EXPECT_EQ(Opened().Markers().size(), 2u);
}

TEST_F(ViewedMarkersTest, ChangesThatCannotBeSavedStayAndAreSavedWithTheNextThatCan) {
    RecordSession();
    const auto companion = CompanionPath(recordingPath);
    TViewedMarkers markers(recordingPath, Opened());
    {
        const TCompanionFile held(companion, TCompanionFile::TOpening::Existing);
        EXPECT_EQ(markers.Add(100, "первая"), 2);
        ASSERT_TRUE(markers.SaveFailure());
        EXPECT_EQ(markers.SaveFailure()->Failure(), TCompanionWriteFailure::InUse);
        EXPECT_EQ(markers.Markers().size(), 2u) << "the list keeps it";
    }
    markers.Add(200, "вторая");
    EXPECT_FALSE(markers.SaveFailure());
    EXPECT_EQ(Opened().Markers().size(), 3u);
}

TEST_F(ViewedMarkersTest, ACompanionOrRecordingThatChangedMeanwhileIsNotWritten) {
    RecordSession();
    const TRecordingTimes opened = Opened();
    const auto companion = CompanionPath(recordingPath);
    {
        TViewedMarkers other(recordingPath, opened); // another window on the same recording
        other.Add(50, "чужая");
    }
    const auto changed = ReadFile(companion);
    TViewedMarkers markers(recordingPath, opened);
    markers.Add(60, "моя");
    ASSERT_TRUE(markers.SaveFailure());
    EXPECT_EQ(markers.SaveFailure()->Failure(), TCompanionWriteFailure::Changed);
    EXPECT_EQ(ReadFile(companion), changed);

    const TRecordingTimes reopened = Opened();
    recording.push_back(0);
    WriteFile(recordingPath, recording);
    TViewedMarkers late(recordingPath, reopened);
    late.Add(70, "поздно");
    ASSERT_TRUE(late.SaveFailure());
    EXPECT_EQ(late.SaveFailure()->Failure(), TCompanionWriteFailure::Changed);
}

TEST_F(ViewedMarkersTest, AnUnusableCompanionIsLeftAsItIs) {
    recording = SomeBytes(10000, 4);
    WriteFile(recordingPath, recording);
    const auto companion = CompanionPath(recordingPath);
    const auto foreign = SomeBytes(40, 9);
    WriteFile(companion, foreign);
    TViewedMarkers markers(recordingPath, Opened());
    markers.Add(10, "нельзя");
    ASSERT_TRUE(markers.SaveFailure());
    EXPECT_EQ(markers.SaveFailure()->Failure(), TCompanionWriteFailure::Unusable);
    EXPECT_EQ(ReadFile(companion), foreign);
}

} // namespace
} // namespace telemetry
