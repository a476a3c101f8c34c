#pragma once

// The time of each frame of a plot whose X values count frames, for a time axis over them:
// a piecewise linear map from frame to seconds and back, with the gaps where the stream stood
// still (a pause, a reconnect), and the rules of the axis' labels. No Qt: what the readout,
// the export and the labels say of a frame's time is read here.

#include <cstdint>
#include <string>
#include <vector>

namespace chart {

// A step between two neighbouring frames longer than this is a gap in the stream: the line
// carries a frame every 1.6 ms, and a controller that idles still sends several a second.
inline constexpr double GapSeconds = 0.5;

// Two frames with their times; the frames between them are timed on the line joining them.
struct TTimeKnot {
    double Frame;
    double Seconds;
    friend bool operator==(const TTimeKnot&, const TTimeKnot&) = default;
};

// The frames First and First + 1 between which the stream stood still for Seconds.
struct TTimeGap {
    double First;
    double Seconds;
    friend bool operator==(const TTimeGap&, const TTimeGap&) = default;
};

class TTimeline {
public:
    // Times measured (a companion, a live session's clock) or estimated from the line rate.
    explicit TTimeline(bool estimated = false) : estimated_(estimated) {}

    [[nodiscard]] bool Estimated() const noexcept { return estimated_; }

    // Frame's time; frames come in rising order, a frame at or below the last one is ignored.
    // A frame on the line the last two knots draw (within Tolerance) moves the last knot
    // instead of adding one, so a steady stream costs a knot for each change of pace.
    void Add(double frame, double seconds);
    void Clear() noexcept { knots_.clear(); }
    [[nodiscard]] const std::vector<TTimeKnot>& Knots() const noexcept { return knots_; }

    // The time of frame: on the line between the knots around it, the first and last line
    // drawn on past the ends; 0 without knots, the one knot's time shifted by the line rate
    // with one.
    [[nodiscard]] double Seconds(double frame) const noexcept;
    // The frame (with its fraction) at seconds, the inverse of Seconds where time grows; in a
    // gap, the gap's first frame plus the part of the gap passed.
    [[nodiscard]] double Frame(double seconds) const noexcept;
    // Whether seconds falls inside a gap, after its first frame and before the next.
    [[nodiscard]] bool InGap(double seconds) const noexcept;
    // The gaps that start from first to last.
    [[nodiscard]] std::vector<TTimeGap> Gaps(double first, double last) const;

    // How far a frame may lie off the line for its knot to be dropped.
    static constexpr double Tolerance = 0.005;

private:
    bool estimated_;
    std::vector<TTimeKnot> knots_;
};

// A frame every 9 bytes at 5760 bytes a second: the times a recording without its own get.
inline constexpr double SecondsPerFrame = 9.0 / 5760.0;

// The step between time labels (seconds) for a range of seconds when `capacity` labels fit:
// the first of 1, 2, 5, 10, 15, 30 s, 1, 2, 5, 10, 15, 30 min, 1 h, then whole hours of
// the 1-2-5 sequence, that needs no more.
[[nodiscard]] double TimeLabelStep(double range, int capacity) noexcept;

// Whole seconds, rounded, as "м:сс", or "ч:мм:сс" with hours; below zero with a minus.
[[nodiscard]] std::string ElapsedText(double seconds, bool hours);
// Seconds with their thousandths: "м:сс.ммм" or "ч:мм:сс.ммм", for a frame's own time.
[[nodiscard]] std::string FrameTimeText(double seconds, bool hours);

} // namespace chart
