#pragma once

// Colours and the pen of the chart's lines, shared by series, axes and drawing.

#include <QRgb>

#include <cstdint>

// Colours are 0x00BBGGRR; two values above that range are markers.
using TColor = std::uint32_t;
inline constexpr TColor clDefault = 0x20000000; // the series colour applies
inline constexpr TColor clNone = 0x1FFFFFFF;    // a null point: stored, counted, never drawn

// The pen a line series connects its points with; its colour is replaced per segment.
struct TChartPen {
    bool Visible = true;
    int Width = 1;
    enum class Style {
        psSolid,
        psDash,
        psDot,
        psDashDot,
        psDashDotDot,
        psClear
    } PenStyle = Style::psSolid;
};

namespace chart {

// 0x00BBGGRR to the image's 0xAARRGGBB.
[[nodiscard]] constexpr QRgb ToRgb(TColor c) noexcept {
    return 0xFF000000u | (c & 0xFFu) << 16 | (c & 0xFF00u) | (c >> 16 & 0xFFu);
}

} // namespace chart
