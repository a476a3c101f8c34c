#pragma once

// A stand-in for the ignition controller: a plausible engine run (idle, revving, cruising,
// warming up, with an advance that follows speed and load) as the stream of 9-byte frames
// the controller sends, 640 frames per simulated second. Deterministic for a seed.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

inline constexpr int FramesPerSecond = 640; // the full line rate: 57600 baud, 10 bits a byte

struct TFrameFields {
    std::uint16_t Period = 0;
    std::uint8_t Map = 0;
    std::uint8_t CurveNumber = 0;
    std::uint8_t Temperature = 0;
    std::uint8_t OctaneCorrector = 0;
    std::uint8_t AdvanceCode = 0;

    friend bool operator==(const TFrameFields&, const TFrameFields&) = default;
};

[[nodiscard]] std::array<std::uint8_t, 9> EncodeFrame(const TFrameFields& fields) noexcept;

// Small, fast and the same everywhere, unlike the standard distributions.
class TRandom {
public:
    explicit TRandom(std::uint64_t seed) noexcept : state_(seed) {}
    std::uint64_t Next() noexcept;
    // Uniform in [0, 1).
    double Unit() noexcept;
    // Uniform in [0, n).
    std::uint32_t Below(std::uint32_t n) noexcept;

private:
    std::uint64_t state_;
};

// The engine, one frame at a time. Its own values never contain 0xFF, so that a stream
// picked up in the middle of a frame finds the next sync pair.
class TEngineRun {
public:
    explicit TEngineRun(std::uint64_t seed);
    TFrameFields NextFrame();

private:
    enum class TPhase { Idle, Revving, Cruising };
    void StartPhase();

    TRandom random_;
    TPhase phase_ = TPhase::Idle;
    long framesLeft_ = 0;
    long phaseFrame_ = 0;
    double rpm_ = 1100;
    double map_ = 35;
    double throttle_ = 0.04;
    double cruiseThrottle_ = 0.3;
    double coolant_;
    std::uint8_t curve_;
    std::uint8_t octane_;
};

// What a noisy stream holds beyond whole frames.
struct TNoiseCounts {
    std::size_t LeadingBytes = 0;  // tail of a frame the line was picked up in
    std::size_t GarbageBytes = 0;  // between frames; never 0xFF, so no false sync pair
    std::size_t FramesWithFF = 0;  // whole frames with 0xFF payload bytes
    std::size_t TrailingBytes = 0; // head of a last frame cut short
};

// The stream as the line delivers it. With noise: it starts in the middle of a frame, has
// garbage between some frames and 0xFF in the payload of some, and ends with a cut frame.
class TStreamGenerator {
public:
    TStreamGenerator(std::uint64_t seed, bool noise);

    // Appends the next whole frame (with noise, what precedes it too) and returns it.
    TFrameFields AppendFrame(std::vector<std::uint8_t>& out);
    // With noise, the first bytes of one more frame; otherwise nothing.
    void AppendEnd(std::vector<std::uint8_t>& out);

    [[nodiscard]] const TNoiseCounts& Counts() const noexcept { return counts_; }

private:
    TEngineRun engine_;
    TRandom noise_;
    bool noisy_;
    bool started_ = false;
    TNoiseCounts counts_;
};

// A whole recording of frames frames; the frames it holds whole go to framesOut if given.
std::vector<std::uint8_t> GenerateRecording(std::uint64_t seed, std::size_t frames, bool noise,
                                            std::vector<TFrameFields>* framesOut = nullptr,
                                            TNoiseCounts* counts = nullptr);

} // namespace sim
