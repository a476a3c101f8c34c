#include "telemetry/ViewedMarkers.h"

#include "telemetry/CompanionFormat.h"
#include "telemetry/Crc32c.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace telemetry {

namespace {

[[noreturn]] void Refuse(TCompanionWriteFailure failure, const std::string& path,
                         const std::string& why) {
    throw ECompanionWriteError(failure, "Cannot write " + path + ": " + why);
}

} // namespace

TViewedMarkers::TViewedMarkers(std::string recordingPath, const TRecordingTimes& times)
    : recordingPath_(std::move(recordingPath)), recordingSize_(times.RecordingSize()),
      state_(times.State()), end_(times.CompanionEnd()),
      markers_(times.Markers(), times.CompanionEnd().NextMarker) {}

int TViewedMarkers::Add(std::uint64_t offset, std::string_view text) {
    const TMarker marker{markers_.NextNumber(), offset, TMarkerOrigin::Viewing,
                         std::string(MarkerText(text))};
    markers_.Add(marker);
    TRecordEncoder(unsaved_).Marker(marker);
    Save();
    return marker.Number;
}

bool TViewedMarkers::Rename(int number, std::string_view text) {
    if (!markers_.Rename(number, text))
        return false;
    TRecordEncoder(unsaved_).Rename(number, text);
    Save();
    return true;
}

bool TViewedMarkers::Delete(int number) {
    if (!markers_.Delete(number))
        return false;
    TRecordEncoder(unsaved_).Delete(number);
    Save();
    return true;
}

std::uint32_t TViewedMarkers::RecordingCrc(std::uint64_t from) const {
    std::FILE* file = std::fopen(recordingPath_.c_str(), "rb");
    if (!file)
        Refuse(TCompanionWriteFailure::Changed, recordingPath_, std::strerror(errno));
    std::uint32_t crc = 0;
    std::uint64_t at = 0;
    std::vector<std::uint8_t> block(1 << 20);
    std::size_t n = 0;
    while ((n = std::fread(block.data(), 1, block.size(), file)) > 0) {
        const std::uint64_t skip = from > at ? std::min<std::uint64_t>(from - at, n) : 0;
        crc = Crc32cUpdate(crc, std::span(block).subspan(skip, n - skip));
        at += n;
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed || at != recordingSize_)
        Refuse(TCompanionWriteFailure::Changed, recordingPath_, "the recording changed");
    return crc;
}

std::vector<std::uint8_t> TViewedMarkers::Records() const {
    std::vector<std::uint8_t> out;
    TRecordEncoder encoder(out);
    if (end_.WholeLength == 0)
        encoder.Header();
    // Ties what the companion does not cover yet, so that the markers are tied to this
    // recording wherever they stand.
    if (end_.TiedTo < recordingSize_)
        encoder.Tie(recordingSize_ - end_.TiedTo, RecordingCrc(end_.TiedTo));
    out.insert(out.end(), unsaved_.begin(), unsaved_.end());
    return out;
}

void TViewedMarkers::Saved(const std::vector<std::uint8_t>& records) {
    end_.WholeLength += records.size();
    end_.FileLength = end_.WholeLength;
    end_.WholeCrc = Crc32cUpdate(end_.WholeCrc, records);
    end_.TiedTo = recordingSize_;
    unsaved_.clear();
}

void TViewedMarkers::Save() {
    const std::string path = CompanionPath(recordingPath_);
    try {
        std::error_code error;
        if (std::filesystem::file_size(recordingPath_, error) != recordingSize_ || error)
            Refuse(TCompanionWriteFailure::Changed, recordingPath_, "the recording changed");
        if (state_ == TCompanionState::Missing) {
            const std::vector<std::uint8_t> records = Records();
            TCompanionFile file(path, TCompanionFile::TOpening::New);
            file.Append(records);
            file.Close();
            Saved(records);
            state_ = TCompanionState::Untimed;
        } else if ((CompanionUsed(state_) && state_ != TCompanionState::Damaged) ||
                   (state_ == TCompanionState::Short && end_.WholeLength >= CompanionHeaderSize)) {
            TCompanionFile file(path, TCompanionFile::TOpening::Existing);
            const std::vector<std::uint8_t> now = file.ReadAll();
            if (now.size() != end_.FileLength ||
                Crc32c(std::span(now).first(static_cast<std::size_t>(end_.WholeLength))) !=
                    end_.WholeCrc)
                Refuse(TCompanionWriteFailure::Changed, path, "the companion changed");
            // The end of a record cut short when a session died: no reader takes it, and
            // records after it would be read as its rest.
            if (end_.FileLength > end_.WholeLength) {
                file.CutTo(end_.WholeLength);
                end_.FileLength = end_.WholeLength;
            }
            const std::vector<std::uint8_t> records = Records();
            file.Append(records);
            file.Close();
            Saved(records);
        } else {
            Refuse(TCompanionWriteFailure::Unusable, path,
                   "it belongs to another recording, is damaged or is of a newer format");
        }
        failure_.reset();
    } catch (const ECompanionWriteError& e) {
        failure_ = e;
    }
}

} // namespace telemetry
