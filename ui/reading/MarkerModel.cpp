#include "ui/reading/MarkerModel.h"

#include "telemetry/CompanionWriter.h"

std::string EventText(const telemetry::TSessionEvent& event) {
    using telemetry::TSessionEventKind;
    switch (event.Kind) {
    case TSessionEventKind::PortLost:
        return "Порт потерян";
    case TSessionEventKind::PortBack:
        return "Порт снова доступен";
    case TSessionEventKind::BytesSkipped:
        return "Пропущено байт: " + std::to_string(event.Value);
    case TSessionEventKind::CurveChanged:
        return "Сменилась кривая: " + std::to_string(event.Value);
    case TSessionEventKind::SessionClosed:
        return "Сеанс закрыт";
    }
    return "Событие сеанса";
}

namespace {

TMarkKind KindOf(telemetry::TSessionEventKind kind) {
    using telemetry::TSessionEventKind;
    switch (kind) {
    case TSessionEventKind::PortLost:
        return TMarkKind::PortLost;
    case TSessionEventKind::PortBack:
        return TMarkKind::PortBack;
    case TSessionEventKind::BytesSkipped:
        return TMarkKind::BytesSkipped;
    case TSessionEventKind::CurveChanged:
        return TMarkKind::CurveChanged;
    case TSessionEventKind::SessionClosed:
        break;
    }
    return TMarkKind::SessionClosed;
}

} // namespace

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

TMark TMarkerModel::At(TMarkKind kind, int number, std::uint64_t offset, std::string text) const {
    TMark mark{kind, number, frames_.RowsEndingBy(offset) - 1, 0, std::move(text)};
    if (mark.Frame >= 0)
        mark.Seconds = seconds_(mark.Frame);
    return mark;
}

const std::vector<telemetry::TMarker>& TMarkerModel::Markers() const {
    return writer_ ? writer_->Markers() : viewed_ ? viewed_->Markers() : markers_;
}

std::vector<TMark> TMarkerModel::Marks() const {
    const std::vector<telemetry::TMarker>& markers = Markers();
    const std::vector<telemetry::TSessionEvent>& events = writer_ ? writer_->Events() : events_;
    std::vector<TMark> marks;
    marks.reserve(markers.size() + events.size());
    for (const telemetry::TMarker& marker : markers)
        marks.push_back(At(TMarkKind::Marker, marker.Number, marker.Offset, marker.Text));
    for (const telemetry::TSessionEvent& event : events)
        marks.push_back(At(KindOf(event.Kind), 0, event.Offset, EventText(event)));
    return marks;
}

std::optional<telemetry::TCompanionWriteFailure> TMarkerModel::SaveFailure() const {
    if (writer_ && writer_->Failure())
        return telemetry::TCompanionWriteFailure::WriteFailed;
    if (viewed_ && viewed_->SaveFailure())
        return viewed_->SaveFailure()->Failure();
    return std::nullopt;
}
