#pragma once

// The markers of a recording as its companion's records leave them: added, renamed and
// deleted in the order the records come.

#include "telemetry/CompanionFormat.h"

#include <string_view>
#include <vector>

namespace telemetry {

class TMarkerList {
public:
    TMarkerList() = default;
    // The markers a companion left, numbers below nextNumber given already.
    TMarkerList(std::vector<TMarker> markers, int nextNumber)
        : markers_(std::move(markers)), highest_(nextNumber - 1) {}

    // False, changing nothing, for a number below 1 or one given before (deleted ones too).
    bool Add(TMarker marker);
    // False, changing nothing, for a number not in the list.
    bool Rename(int number, std::string_view text);
    bool Delete(int number);

    // In the order of their numbers.
    [[nodiscard]] const std::vector<TMarker>& Markers() const noexcept { return markers_; }
    // The number the next marker gets: one above every number given so far.
    [[nodiscard]] int NextNumber() const noexcept { return highest_ + 1; }

private:
    std::vector<TMarker>::iterator Find(int number);

    std::vector<TMarker> markers_;
    int highest_ = 0;
};

} // namespace telemetry
