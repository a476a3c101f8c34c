#include "telemetry/Markers.h"

#include <algorithm>

namespace telemetry {

bool TMarkerList::Add(TMarker marker) {
    if (marker.Number <= highest_)
        return false;
    highest_ = marker.Number;
    marker.Text = std::string(MarkerText(marker.Text));
    markers_.push_back(std::move(marker));
    return true;
}

std::vector<TMarker>::iterator TMarkerList::Find(int number) {
    const auto at = std::lower_bound(markers_.begin(), markers_.end(), number,
                                     [](const TMarker& m, int n) { return m.Number < n; });
    return at != markers_.end() && at->Number == number ? at : markers_.end();
}

bool TMarkerList::Rename(int number, std::string_view text) {
    const auto at = Find(number);
    if (at == markers_.end())
        return false;
    at->Text = std::string(MarkerText(text));
    return true;
}

bool TMarkerList::Delete(int number) {
    const auto at = Find(number);
    if (at == markers_.end())
        return false;
    markers_.erase(at);
    return true;
}

} // namespace telemetry
