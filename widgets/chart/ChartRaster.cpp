#include "widgets/chart/ChartRaster.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace chart {

namespace {

std::int64_t FloorDiv(std::int64_t n, std::int64_t d) noexcept {
    std::int64_t q = n / d;
    if ((n % d != 0) && ((n < 0) != (d < 0)))
        --q;
    return q;
}

std::int64_t CeilDiv(std::int64_t n, std::int64_t d) noexcept {
    return -FloorDiv(-n, d);
}

} // namespace

TRaster::TRaster(QImage& image)
    : bits_(reinterpret_cast<QRgb*>(image.bits())),
      stride_(image.bytesPerLine() / 4), bounds_{0, 0, image.width(), image.height()},
      clip_(bounds_) {}

void TRaster::SetClip(const TRectI& clip) noexcept {
    clip_ = {std::max(clip.Left, bounds_.Left), std::max(clip.Top, bounds_.Top),
             std::min(clip.Right, bounds_.Right), std::min(clip.Bottom, bounds_.Bottom)};
}

void TRaster::ResetClip() noexcept {
    clip_ = bounds_;
}

void TRaster::Plot(int x, int y, QRgb colour) noexcept {
    if (clip_.Contains(x, y))
        bits_[y * stride_ + x] = colour;
}

namespace {

// A line walked along its major axis from (m0, n0): step k lies at m0 + sm k along it and
// floor((2k minor + major) / (2 major)) pixels from n0, toward sn, across it.
struct TLineSteps {
    std::int64_t Major, Minor, M0, N0;
    int Sm, Sn;
};

// The first and last steps that fall within [mLow, mHigh] along the major axis and
// [nLow, nHigh] across it; the first is past the last when none does.
std::pair<std::int64_t, std::int64_t> StepsInside(const TLineSteps& s, std::int64_t mLow,
                                                  std::int64_t mHigh, std::int64_t nLow,
                                                  std::int64_t nHigh) noexcept {
    std::int64_t k0 = 0, k1 = s.Major - 1;
    if (s.Sm > 0) {
        k0 = std::max(k0, mLow - s.M0);
        k1 = std::min(k1, mHigh - s.M0);
    } else {
        k0 = std::max(k0, s.M0 - mHigh);
        k1 = std::min(k1, s.M0 - mLow);
    }
    const std::int64_t fLow = s.Sn > 0 ? nLow - s.N0 : s.N0 - nHigh;
    const std::int64_t fHigh = s.Sn > 0 ? nHigh - s.N0 : s.N0 - nLow;
    if (s.Minor == 0)
        return fLow > 0 || fHigh < 0 ? std::pair(k1 + 1, k1) : std::pair(k0, k1);
    if (fHigh < 0)
        return {k1 + 1, k1};
    if (fLow > 0)
        k0 = std::max(k0, CeilDiv(2 * s.Major * fLow - s.Major, 2 * s.Minor));
    k1 = std::min(k1, CeilDiv(2 * s.Major * (fHigh + 1) - s.Major, 2 * s.Minor) - 1);
    return {k0, k1};
}

} // namespace

void TRaster::Line(int x0, int y0, int x1, int y1, QRgb colour) noexcept {
    if (clip_.Right <= clip_.Left || clip_.Bottom <= clip_.Top)
        return;
    const std::int64_t dx = std::int64_t{x1} - x0, dy = std::int64_t{y1} - y0;
    const std::int64_t adx = std::llabs(dx), ady = std::llabs(dy);
    if (adx == 0 && ady == 0)
        return;
    const bool xMajor = adx >= ady;
    const TLineSteps s{xMajor ? adx : ady,
                       xMajor ? ady : adx,
                       xMajor ? x0 : y0,
                       xMajor ? y0 : x0,
                       (xMajor ? dx : dy) < 0 ? -1 : 1,
                       (xMajor ? dy : dx) < 0 ? -1 : 1};
    const auto [k0, k1] =
        xMajor ? StepsInside(s, clip_.Left, clip_.Right - 1, clip_.Top, clip_.Bottom - 1)
               : StepsInside(s, clip_.Top, clip_.Bottom - 1, clip_.Left, clip_.Right - 1);
    if (k0 > k1)
        return;

    const std::int64_t twoMajor = 2 * s.Major, twoMinor = 2 * s.Minor;
    const std::int64_t numerator = k0 * twoMinor + s.Major;
    const std::int64_t f = numerator / twoMajor;
    std::int64_t remainder = numerator % twoMajor;
    std::int64_t m = s.M0 + s.Sm * k0;
    if (xMajor) {
        QRgb* row = bits_ + (s.N0 + s.Sn * f) * stride_;
        const qsizetype rowStep = s.Sn * stride_;
        for (std::int64_t k = k0; k <= k1; ++k) {
            if (!dashed_ || InDash(m))
                row[m] = colour;
            m += s.Sm;
            remainder += twoMinor;
            while (remainder >= twoMajor) {
                remainder -= twoMajor;
                row += rowStep;
            }
        }
    } else {
        std::int64_t x = s.N0 + s.Sn * f;
        for (std::int64_t k = k0; k <= k1; ++k) {
            if (!dashed_ || InDash(m))
                bits_[m * stride_ + x] = colour;
            m += s.Sm;
            remainder += twoMinor;
            while (remainder >= twoMajor) {
                remainder -= twoMajor;
                x += s.Sn;
            }
        }
    }
}

void TRaster::VerticalSpan(int x, int y0, int y1, QRgb colour) noexcept {
    if (x < clip_.Left || x >= clip_.Right)
        return;
    const int top = std::max(std::min(y0, y1), clip_.Top);
    const int bottom = std::min(std::max(y0, y1), clip_.Bottom - 1);
    if (!dashed_) {
        for (int y = top; y <= bottom; ++y)
            bits_[y * stride_ + x] = colour;
        return;
    }
    for (int y = top; y <= bottom; ++y)
        if (InDash(y))
            bits_[y * stride_ + x] = colour;
}

void TRaster::DottedLine(int x0, int y0, int x1, int y1, QRgb colour) noexcept {
    const int sx = x1 > x0 ? 1 : x1 < x0 ? -1 : 0;
    const int sy = y1 > y0 ? 1 : y1 < y0 ? -1 : 0;
    const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
    for (int k = 0; k <= steps; k += 2)
        Plot(x0 + sx * k, y0 + sy * k, colour);
}

void TRaster::Fill(const TRectI& r, QRgb colour) noexcept {
    const int left = std::max(r.Left, clip_.Left), right = std::min(r.Right, clip_.Right);
    const int top = std::max(r.Top, clip_.Top), bottom = std::min(r.Bottom, clip_.Bottom);
    if (left >= right || top >= bottom)
        return;
    // One row filled, the others copied from it, which goes at memory speed.
    QRgb* const first = bits_ + top * stride_ + left;
    std::fill(first, first + (right - left), colour);
    for (int y = top + 1; y < bottom; ++y)
        std::memcpy(bits_ + y * stride_ + left, first,
                    static_cast<std::size_t>(right - left) * sizeof(QRgb));
}

} // namespace chart
