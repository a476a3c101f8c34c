#include "tools/sim/Simulator.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {

constexpr double FrameSeconds = 1.0 / FramesPerSecond;
constexpr double WarmCoolant = 90;

std::uint8_t Code(double value) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 254L));
}

// Degrees before top dead centre: the base curve rises with speed, light load adds
// vacuum advance, a cold engine gets a little more, the octane corrector takes some off.
double Advance(double rpm, double mapKpa, double coolant, int curve, int octane) {
    double base;
    if (rpm <= 900)
        base = 8;
    else if (rpm <= 3000)
        base = 8 + (rpm - 900) / 2100 * 22;
    else
        base = 30 + std::min((rpm - 3000) / 2000, 1.0) * 4;
    const double vacuum = std::max(0.0, 100 - mapKpa) * 0.12;
    const double cold = std::max(0.0, 60 - coolant) * 0.05;
    return base + vacuum + cold + (curve - 1.5) - octane * 0.5;
}

} // namespace

std::array<std::uint8_t, 9> EncodeFrame(const TFrameFields& f) noexcept {
    return {0xFF,
            0xFF,
            static_cast<std::uint8_t>(f.Period >> 8),
            static_cast<std::uint8_t>(f.Period & 0xFF),
            f.Map,
            f.CurveNumber,
            f.Temperature,
            f.OctaneCorrector,
            f.AdvanceCode};
}

std::uint64_t TRandom::Next() noexcept {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double TRandom::Unit() noexcept {
    return static_cast<double>(Next() >> 11) * 0x1.0p-53;
}

std::uint32_t TRandom::Below(std::uint32_t n) noexcept {
    return static_cast<std::uint32_t>((Next() >> 32) * n >> 32);
}

TEngineRun::TEngineRun(std::uint64_t seed)
    : random_(seed), coolant_(10 + random_.Unit() * 15),
      curve_(static_cast<std::uint8_t>(random_.Below(4))),
      octane_(static_cast<std::uint8_t>(random_.Below(9))) {
    // A cold start: the first minute idles while the engine warms up.
    framesLeft_ = static_cast<long>((45 + random_.Unit() * 30) * FramesPerSecond);
}

void TEngineRun::StartPhase() {
    const double pick = random_.Unit();
    if (phase_ == TPhase::Idle)
        phase_ = pick < 0.55 ? TPhase::Cruising : pick < 0.85 ? TPhase::Revving : TPhase::Idle;
    else
        phase_ = pick < 0.5 ? TPhase::Idle : pick < 0.8 ? TPhase::Cruising : TPhase::Revving;
    double seconds = 0;
    switch (phase_) {
    case TPhase::Idle:
        seconds = 10 + random_.Unit() * 30;
        break;
    case TPhase::Revving:
        seconds = 3 + random_.Unit() * 6;
        break;
    case TPhase::Cruising:
        seconds = 20 + random_.Unit() * 70;
        cruiseThrottle_ = 0.18 + random_.Unit() * 0.22;
        break;
    }
    framesLeft_ = static_cast<long>(seconds * FramesPerSecond);
    phaseFrame_ = 0;
    if (random_.Unit() < 0.05)
        curve_ = static_cast<std::uint8_t>(random_.Below(4));
}

TFrameFields TEngineRun::NextFrame() {
    if (framesLeft_-- <= 0)
        StartPhase();
    ++phaseFrame_;

    const double idleRpm = 850 + std::max(0.0, 60 - coolant_) * 7;
    double throttleTarget = 0.04;
    double rpmTarget = idleRpm;
    switch (phase_) {
    case TPhase::Idle:
        break;
    case TPhase::Revving: {
        // Blips of 0.4 s with the throttle open, 0.8 s closed.
        const bool open = phaseFrame_ % (FramesPerSecond * 6 / 5) < FramesPerSecond * 2 / 5;
        throttleTarget = open ? 0.85 : 0.0;
        rpmTarget = idleRpm + 5200 * throttleTarget;
        break;
    }
    case TPhase::Cruising:
        cruiseThrottle_ = std::clamp(cruiseThrottle_ + (random_.Unit() - 0.5) * 0.002, 0.15, 0.45);
        throttleTarget = cruiseThrottle_;
        rpmTarget = 1400 + 5000 * throttleTarget;
        break;
    }

    throttle_ += (throttleTarget - throttle_) * FrameSeconds / 0.05;
    const double tau = rpmTarget > rpm_ ? 0.25 : 0.6;
    rpm_ += (rpmTarget - rpm_) * FrameSeconds / tau + (random_.Unit() - 0.5) * 12;
    rpm_ = std::clamp(rpm_, 600.0, 6800.0);
    const double mapTarget = 30 + 65 * throttle_;
    map_ += (mapTarget - map_) * FrameSeconds / 0.08 + (random_.Unit() - 0.5) * 0.6;
    coolant_ += (WarmCoolant - coolant_) * FrameSeconds / 240 * (1 + 2 * throttle_);

    TFrameFields f;
    f.Period = static_cast<std::uint16_t>(std::lround(27648000.0 / rpm_));
    f.Map = Code(map_);
    f.CurveNumber = curve_;
    f.Temperature = Code(coolant_ + 40);
    f.OctaneCorrector = octane_;
    f.AdvanceCode = Code((Advance(rpm_, map_, coolant_, curve_, octane_) - 5.625) / 0.17578125);
    return f;
}

TStreamGenerator::TStreamGenerator(std::uint64_t seed, bool noise)
    : engine_(seed), noise_(seed ^ 0x6E6F697365ull), noisy_(noise) {}

TFrameFields TStreamGenerator::AppendFrame(std::vector<std::uint8_t>& out) {
    if (noisy_ && !started_) {
        const auto head = EncodeFrame(engine_.NextFrame());
        const std::size_t cut = 1 + noise_.Below(8);
        out.insert(out.end(), head.begin() + static_cast<std::ptrdiff_t>(cut), head.end());
        counts_.LeadingBytes = head.size() - cut;
    }
    started_ = true;

    TFrameFields f = engine_.NextFrame();
    if (noisy_) {
        if (noise_.Below(150) == 0) {
            const std::size_t n = 1 + noise_.Below(16);
            for (std::size_t i = 0; i < n; ++i)
                out.push_back(static_cast<std::uint8_t>(noise_.Below(0xFF)));
            counts_.GarbageBytes += n;
        }
        if (noise_.Below(200) == 0) {
            // One to three payload bytes read 0xFF, next to each other at times.
            const unsigned fields = 1 + noise_.Below(3);
            for (unsigned i = 0; i < fields; ++i) {
                switch (noise_.Below(6)) {
                case 0:
                    f.Period = static_cast<std::uint16_t>(f.Period | 0xFF00);
                    break;
                case 1:
                    f.Map = 0xFF;
                    break;
                case 2:
                    f.CurveNumber = 0xFF;
                    break;
                case 3:
                    f.Temperature = 0xFF;
                    break;
                case 4:
                    f.OctaneCorrector = 0xFF;
                    break;
                default:
                    f.AdvanceCode = 0xFF;
                    break;
                }
            }
            ++counts_.FramesWithFF;
        }
    }
    const auto bytes = EncodeFrame(f);
    out.insert(out.end(), bytes.begin(), bytes.end());
    return f;
}

void TStreamGenerator::AppendEnd(std::vector<std::uint8_t>& out) {
    if (!noisy_)
        return;
    const auto bytes = EncodeFrame(engine_.NextFrame());
    const std::size_t keep = 1 + noise_.Below(8);
    out.insert(out.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(keep));
    counts_.TrailingBytes = keep;
}

std::vector<std::uint8_t> GenerateRecording(std::uint64_t seed, std::size_t frames, bool noise,
                                            std::vector<TFrameFields>* framesOut,
                                            TNoiseCounts* counts) {
    TStreamGenerator generator(seed, noise);
    std::vector<std::uint8_t> bytes;
    bytes.reserve(frames * 9 + frames / 50 + 32);
    for (std::size_t i = 0; i < frames; ++i) {
        const TFrameFields f = generator.AppendFrame(bytes);
        if (framesOut)
            framesOut->push_back(f);
    }
    generator.AppendEnd(bytes);
    if (counts)
        *counts = generator.Counts();
    return bytes;
}

} // namespace sim
