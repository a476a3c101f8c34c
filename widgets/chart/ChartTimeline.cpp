#include "widgets/chart/ChartTimeline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace chart {

namespace {

double OnLine(const TTimeKnot& a, const TTimeKnot& b, double frame) noexcept {
    if (b.Frame == a.Frame)
        return a.Seconds;
    return a.Seconds + (frame - a.Frame) * (b.Seconds - a.Seconds) / (b.Frame - a.Frame);
}

bool IsGap(const TTimeKnot& a, const TTimeKnot& b) noexcept {
    return b.Frame - a.Frame <= 1 && b.Seconds - a.Seconds > GapSeconds;
}

} // namespace

void TTimeline::Add(double frame, double seconds) {
    if (!knots_.empty() && frame <= knots_.back().Frame)
        return;
    const TTimeKnot knot{frame, seconds};
    if (knots_.size() >= 2) {
        const TTimeKnot& a = knots_[knots_.size() - 2];
        const TTimeKnot& b = knots_.back();
        // A gap's ends stay knots: the line through them says nothing of the frames after.
        if (!IsGap(a, b) && !IsGap(b, knot) &&
            std::fabs(OnLine(a, b, frame) - seconds) <= Tolerance) {
            knots_.back() = knot;
            return;
        }
    }
    knots_.push_back(knot);
}

double TTimeline::Seconds(double frame) const noexcept {
    if (knots_.empty())
        return 0;
    if (knots_.size() == 1)
        return knots_[0].Seconds + (frame - knots_[0].Frame) * SecondsPerFrame;
    auto after = std::upper_bound(knots_.begin(), knots_.end(), frame,
                                  [](double f, const TTimeKnot& k) { return f < k.Frame; });
    if (after == knots_.begin())
        ++after;
    if (after == knots_.end())
        --after;
    return OnLine(*(after - 1), *after, frame);
}

double TTimeline::Frame(double seconds) const noexcept {
    if (knots_.empty())
        return seconds / SecondsPerFrame;
    if (knots_.size() == 1)
        return knots_[0].Frame + (seconds - knots_[0].Seconds) / SecondsPerFrame;
    auto after = std::upper_bound(knots_.begin(), knots_.end(), seconds,
                                  [](double s, const TTimeKnot& k) { return s < k.Seconds; });
    if (after == knots_.begin())
        ++after;
    if (after == knots_.end())
        --after;
    const TTimeKnot& a = *(after - 1);
    const TTimeKnot& b = *after;
    if (b.Seconds == a.Seconds)
        return a.Frame;
    return a.Frame + (seconds - a.Seconds) * (b.Frame - a.Frame) / (b.Seconds - a.Seconds);
}

bool TTimeline::InGap(double seconds) const noexcept {
    auto after = std::upper_bound(knots_.begin(), knots_.end(), seconds,
                                  [](double s, const TTimeKnot& k) { return s < k.Seconds; });
    if (after == knots_.begin() || after == knots_.end())
        return false;
    const TTimeKnot& a = *(after - 1);
    return IsGap(a, *after) && seconds > a.Seconds;
}

std::vector<TTimeGap> TTimeline::Gaps(double first, double last) const {
    std::vector<TTimeGap> gaps;
    auto at = std::lower_bound(knots_.begin(), knots_.end(), first,
                               [](const TTimeKnot& k, double f) { return k.Frame < f; });
    for (; at != knots_.end() && at + 1 != knots_.end() && at->Frame <= last; ++at)
        if (IsGap(*at, *(at + 1)))
            gaps.push_back({at->Frame, (at + 1)->Seconds - at->Seconds});
    return gaps;
}

double TimeLabelStep(double range, int capacity) noexcept {
    static constexpr double steps[] = {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600};
    const double fit = capacity > 0 ? std::fabs(range) / capacity : std::fabs(range);
    for (double step : steps)
        if (step >= fit)
            return step;
    // Hours of the 1-2-5 sequence.
    for (double decade = 1;; decade *= 10)
        for (double hours : {decade, 2 * decade, 5 * decade})
            if (hours * 3600 >= fit || !std::isfinite(fit))
                return hours * 3600;
}

namespace {

std::string Clock(double seconds, bool hours, bool thousandths) {
    const bool negative = seconds < 0;
    const double magnitude = std::fabs(seconds);
    const long long millis = std::llround(magnitude * 1000);
    const long long whole = thousandths ? millis / 1000 : std::llround(magnitude);
    char text[48];
    const char* sign = negative && (thousandths ? millis : whole) != 0 ? "-" : "";
    int n = hours ? std::snprintf(text, sizeof text, "%s%lld:%02lld:%02lld", sign, whole / 3600,
                                  whole / 60 % 60, whole % 60)
                  : std::snprintf(text, sizeof text, "%s%lld:%02lld", sign, whole / 60, whole % 60);
    if (thousandths)
        n += std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), ".%03lld",
                           millis % 1000);
    return std::string(text, static_cast<std::size_t>(n));
}

} // namespace

std::string ElapsedText(double seconds, bool hours) {
    return Clock(seconds, hours, false);
}

std::string FrameTimeText(double seconds, bool hours) {
    return Clock(seconds, hours, true);
}

} // namespace chart
