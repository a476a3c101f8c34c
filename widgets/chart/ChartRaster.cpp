#include "widgets/chart/ChartRaster.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

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

void TRaster::Line(int x0, int y0, int x1, int y1, QRgb colour) noexcept {
    if (clip_.Right <= clip_.Left || clip_.Bottom <= clip_.Top)
        return;
    const std::int64_t dx = std::int64_t{x1} - x0, dy = std::int64_t{y1} - y0;
    const std::int64_t adx = std::llabs(dx), ady = std::llabs(dy);
    if (adx == 0 && ady == 0)
        return;
    // Walk the major axis; the minor coordinate of step k is floor((2k minor + major) /
    // (2 major)) away from the start.
    const bool xMajor = adx >= ady;
    const std::int64_t major = xMajor ? adx : ady, minor = xMajor ? ady : adx;
    const std::int64_t m0 = xMajor ? x0 : y0, n0 = xMajor ? y0 : x0;
    const int sm = (xMajor ? dx : dy) < 0 ? -1 : 1;
    const int sn = (xMajor ? dy : dx) < 0 ? -1 : 1;
    const std::int64_t mLow = xMajor ? clip_.Left : clip_.Top;
    const std::int64_t mHigh = (xMajor ? clip_.Right : clip_.Bottom) - 1;
    const std::int64_t nLow = xMajor ? clip_.Top : clip_.Left;
    const std::int64_t nHigh = (xMajor ? clip_.Bottom : clip_.Right) - 1;

    std::int64_t k0 = 0, k1 = major - 1;
    if (sm > 0) {
        k0 = std::max(k0, mLow - m0);
        k1 = std::min(k1, mHigh - m0);
    } else {
        k0 = std::max(k0, m0 - mHigh);
        k1 = std::min(k1, m0 - mLow);
    }
    const std::int64_t fLow = sn > 0 ? nLow - n0 : n0 - nHigh;
    const std::int64_t fHigh = sn > 0 ? nHigh - n0 : n0 - nLow;
    if (minor == 0) {
        if (fLow > 0 || fHigh < 0)
            return;
    } else {
        if (fHigh < 0)
            return;
        if (fLow > 0)
            k0 = std::max(k0, CeilDiv(2 * major * fLow - major, 2 * minor));
        k1 = std::min(k1, CeilDiv(2 * major * (fHigh + 1) - major, 2 * minor) - 1);
    }
    if (k0 > k1)
        return;

    const std::int64_t twoMajor = 2 * major, twoMinor = 2 * minor;
    std::int64_t numerator = k0 * twoMinor + major;
    std::int64_t f = numerator / twoMajor;
    std::int64_t remainder = numerator % twoMajor;
    std::int64_t m = m0 + sm * k0;
    if (xMajor) {
        QRgb* row = bits_ + (n0 + sn * f) * stride_;
        const qsizetype rowStep = sn * stride_;
        for (std::int64_t k = k0; k <= k1; ++k) {
            row[m] = colour;
            m += sm;
            remainder += twoMinor;
            while (remainder >= twoMajor) {
                remainder -= twoMajor;
                row += rowStep;
            }
        }
    } else {
        std::int64_t x = n0 + sn * f;
        for (std::int64_t k = k0; k <= k1; ++k) {
            bits_[m * stride_ + x] = colour;
            m += sm;
            remainder += twoMinor;
            while (remainder >= twoMajor) {
                remainder -= twoMajor;
                x += sn;
            }
        }
    }
}

void TRaster::VerticalSpan(int x, int y0, int y1, QRgb colour) noexcept {
    if (x < clip_.Left || x >= clip_.Right)
        return;
    const int top = std::max(std::min(y0, y1), clip_.Top);
    const int bottom = std::min(std::max(y0, y1), clip_.Bottom - 1);
    for (int y = top; y <= bottom; ++y)
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
