#include "telemetry/CompanionWriter.h"

#include "telemetry/RecordingFile.h"

namespace telemetry {

TCompanionWriter::TCompanionWriter(const std::string& recordingPath, TClock::time_point start)
    : start_(start) {
    try {
        file_ = std::make_unique<TCompanionFile>(CompanionPath(recordingPath),
                                                 TCompanionFile::TOpening::Emptied);
        TWallStart wall = WallStartNow();
        wall.UtcMicros -= Micros(TClock::now());
        TRecordEncoder encoder(record_);
        encoder.Header();
        encoder.Start(wall);
        file_->Append(record_);
    } catch (const ECompanionWriteError& e) {
        Failed(e);
    }
}

TCompanionWriter::~TCompanionWriter() = default;

std::int64_t TCompanionWriter::Micros(TClock::time_point t) const {
    return std::max<std::int64_t>(
        0, std::chrono::duration_cast<std::chrono::microseconds>(t - start_).count());
}

void TCompanionWriter::Failed(const std::exception& e) {
    failure_ = e.what();
    file_.reset();
    held_.clear();
}

void TCompanionWriter::Block(std::span<const std::uint8_t> bytes, TClock::time_point readAt,
                             const TBlockDecoded& decoded, TClock::time_point now) {
    const std::uint64_t first = recorded_;
    recorded_ += bytes.size();
    if (file_) {
        due_.clear();
        rule_.Block(recorded_, bytes.size(), Micros(readAt), due_);
        Hold(bytes, first, now);
    }
    if (decoded.Frames > 0) {
        if (curve_ && *curve_ != decoded.CurveNumber)
            Event(TSessionEventKind::CurveChanged, now, decoded.CurveNumber);
        curve_ = decoded.CurveNumber;
    }
    SkippedBytes(decoded.SkippedBytes, now, false);
    SyncIfDue(now);
}

void TCompanionWriter::Hold(std::span<const std::uint8_t> bytes, std::uint64_t firstOffset,
                            TClock::time_point now) {
    std::size_t folded = 0;
    for (const TCheckpoint& checkpoint : due_) {
        const auto upTo = static_cast<std::size_t>(checkpoint.Offset - firstOffset);
        crc_ = Crc32cUpdate(crc_, bytes.subspan(folded, upTo - folded));
        folded = upTo;
        TRecordEncoder(held_).Checkpoint(
            checkpoint.Offset - tiedOffset_,
            static_cast<std::uint64_t>(checkpoint.Micros - tiedMicros_), crc_);
        tiedOffset_ = checkpoint.Offset;
        tiedMicros_ = checkpoint.Micros;
        crc_ = 0;
    }
    crc_ = Crc32cUpdate(crc_, bytes.subspan(folded));
    if (!due_.empty())
        Unsynced(now);
}

void TCompanionWriter::Unsynced(TClock::time_point now) {
    if (!unsyncedSince_)
        unsyncedSince_ = now;
}

void TCompanionWriter::WriteNow(const std::vector<std::uint8_t>& bytes) {
    if (!file_)
        return;
    try {
        file_->Append(bytes);
    } catch (const ECompanionWriteError& e) {
        Failed(e);
    }
}

void TCompanionWriter::Event(TSessionEventKind kind, TClock::time_point now, std::uint64_t value) {
    events_.push_back({kind, recorded_, Micros(now), value});
    if (!file_)
        return;
    record_.clear();
    TRecordEncoder(record_).Event(events_.back());
    WriteNow(record_);
    Unsynced(now);
}

void TCompanionWriter::SkippedBytes(std::uint64_t total, TClock::time_point now, bool tellNow) {
    skippedSeen_ = std::max(skippedSeen_, total);
    if (skippedSeen_ == skippedTold_)
        return;
    if (!tellNow && skippedToldAt_ && now - *skippedToldAt_ < SkippedEventInterval)
        return;
    Event(TSessionEventKind::BytesSkipped, now, skippedSeen_ - skippedTold_);
    skippedTold_ = skippedSeen_;
    skippedToldAt_ = now;
}

void TCompanionWriter::PortLost(TClock::time_point now) {
    SkippedBytes(skippedSeen_, now, true);
    Event(TSessionEventKind::PortLost, now, 0);
}

void TCompanionWriter::PortBack(TClock::time_point now) {
    Event(TSessionEventKind::PortBack, now, 0);
}

void TCompanionWriter::SyncIfDue(TClock::time_point now) {
    SkippedBytes(skippedSeen_, now, false);
    if (file_ && unsyncedSince_ && now - *unsyncedSince_ >= SyncAfter)
        WriteHeldAndSync();
}

void TCompanionWriter::WriteHeldAndSync() {
    try {
        file_->Append(held_);
        held_.clear();
        file_->Sync();
        unsyncedSince_.reset();
    } catch (const ECompanionWriteError& e) {
        Failed(e);
    }
}

void TCompanionWriter::Close(TClock::time_point now) {
    if (closed_)
        return;
    closed_ = true;
    if (file_) {
        due_.clear();
        rule_.Flush(due_);
        Hold({}, recorded_, now);
    }
    SkippedBytes(skippedSeen_, now, true);
    Event(TSessionEventKind::SessionClosed, now, 0);
    if (!file_)
        return;
    try {
        file_->Append(held_);
        held_.clear();
        file_->Close();
        file_.reset();
    } catch (const ECompanionWriteError& e) {
        Failed(e);
    }
}

int TCompanionWriter::AddMarker(std::string_view text) {
    const TMarker marker{markers_.NextNumber(), recorded_, TMarkerOrigin::Live,
                         std::string(MarkerText(text))};
    markers_.Add(marker);
    record_.clear();
    TRecordEncoder(record_).Marker(marker);
    WriteNow(record_);
    Unsynced(TClock::now());
    return marker.Number;
}

bool TCompanionWriter::RenameMarker(int number, std::string_view text) {
    if (!markers_.Rename(number, text))
        return false;
    record_.clear();
    TRecordEncoder(record_).Rename(number, text);
    WriteNow(record_);
    Unsynced(TClock::now());
    return true;
}

bool TCompanionWriter::DeleteMarker(int number) {
    if (!markers_.Delete(number))
        return false;
    record_.clear();
    TRecordEncoder(record_).Delete(number);
    WriteNow(record_);
    Unsynced(TClock::now());
    return true;
}

} // namespace telemetry
