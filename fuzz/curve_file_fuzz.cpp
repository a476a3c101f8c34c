// A curve file is either refused with a message for the user (ECurveError, nothing else) or
// read into curves that the written text reads back exactly, and whose expected advance is a
// number everywhere: at each point its own advance, between two points within theirs.
//
// Input: the file's bytes.

#include "analysis/ExpectedCurves.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace analysis;

namespace {

void Check(const TExpectedCurves& curves) {
    if (ParseCurveFile(CurveFileText(curves)) != curves)
        std::abort();
    for (int curve = 0; curve < 256; ++curve) {
        const auto points = curves.Points(static_cast<std::uint8_t>(curve));
        for (std::size_t i = 0; i < points.size(); ++i) {
            if (Interpolate(points, points[i].Rpm) != points[i].Advance)
                std::abort();
            if (i + 1 == points.size())
                continue;
            const double low = std::min(points[i].Advance, points[i + 1].Advance);
            const double high = std::max(points[i].Advance, points[i + 1].Advance);
            const double between =
                Interpolate(points, points[i].Rpm + (points[i + 1].Rpm - points[i].Rpm) / 3);
            if (!(between >= low && between <= high))
                std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TExpectedCurves curves;
    try {
        curves = ParseCurveFile({reinterpret_cast<const char*>(data), size});
    } catch (const ECurveError&) {
        return 0;
    }
    Check(curves);
    return 0;
}
