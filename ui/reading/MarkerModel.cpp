#include "ui/reading/MarkerModel.h"

#include "telemetry/CompanionWriter.h"

TMarkerModel::TMarkerModel(const telemetry::TFrameTable& frames,
                           std::function<double(std::int64_t)> seconds)
    : frames_(frames), seconds_(std::move(seconds)) {}

void TMarkerModel::View(const std::string& path, const telemetry::TRecordingTimes& times) {
    Clear();
    viewed_.emplace(path, times);
    events_ = times.Events();
}

void TMarkerModel::Live(telemetry::TCompanionWriter& writer) {
    Clear();
    writer_ = &writer;
}

void TMarkerModel::Freeze() {
    if (!writer_)
        return;
    markers_ = writer_->Markers();
    events_ = writer_->Events();
    writer_ = nullptr;
}

void TMarkerModel::Clear() {
    writer_ = nullptr;
    viewed_.reset();
    markers_.clear();
    events_.clear();
}

std::optional<int> TMarkerModel::Add(std::optional<std::int64_t> frame) {
    if (writer_)
        return writer_->AddMarker({});
    if (!viewed_ || !frame || *frame < 0 || *frame >= frames_.Rows())
        return std::nullopt;
    return viewed_->Add(frames_.EndOffset(*frame), {});
}

bool TMarkerModel::Rename(int number, std::string_view text) {
    if (writer_)
        return writer_->RenameMarker(number, text);
    return viewed_ && viewed_->Rename(number, text);
}

bool TMarkerModel::Delete(int number) {
    if (writer_)
        return writer_->DeleteMarker(number);
    return viewed_ && viewed_->Delete(number);
}

const std::vector<telemetry::TMarker>& TMarkerModel::Markers() const {
    return writer_ ? writer_->Markers() : viewed_ ? viewed_->Markers() : markers_;
}

std::vector<telemetry::TMark> TMarkerModel::Marks() const {
    return telemetry::Marks(Markers(), writer_ ? writer_->Events() : events_, frames_, seconds_);
}

std::optional<telemetry::TCompanionWriteFailure> TMarkerModel::SaveFailure() const {
    if (writer_ && writer_->Failure())
        return telemetry::TCompanionWriteFailure::WriteFailed;
    if (viewed_ && viewed_->SaveFailure())
        return viewed_->SaveFailure()->Failure();
    return std::nullopt;
}
