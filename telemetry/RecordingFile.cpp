#include "telemetry/RecordingFile.h"

namespace telemetry {

void TRecordingFile::Write(std::span<const std::uint8_t> bytes, TClock::time_point now) {
    if (!bytes.empty() && !unsyncedSince_)
        unsyncedSince_ = now;
    WriteAll(bytes);
}

void TRecordingFile::SyncIfDue(TClock::time_point now) {
    if (unsyncedSince_ && now - *unsyncedSince_ >= SyncAfter)
        Sync();
}

void TRecordingFile::Sync() {
    if (!unsyncedSince_ || !open_)
        return;
    unsyncedSince_.reset();
    if (SyncFile())
        ++syncs_;
}

void TRecordingFile::Close() {
    std::optional<EInOutError> failure;
    try {
        Sync();
    } catch (const EInOutError& e) {
        failure = e;
    }
    if (open_) {
        open_ = false;
        try {
            CloseFile();
        } catch (const EInOutError& e) {
            if (!failure)
                failure = e;
        }
    }
    if (failure)
        throw *failure;
}

std::size_t RecordBlock(TRecordingFile& file, std::span<const std::uint8_t> block, DecodeMode mode,
                        TLatestValues& values, TFramePlot* plot,
                        TRecordingFile::TClock::time_point now, TFrameSink* frames) {
    file.Write(block, now);
    return DecodeBlock(block, mode, values.LiveState, values, plot, frames);
}

} // namespace telemetry
