// A recording replayed through the viewer (opened under its lock, mapped, walked in blocks
// copied out of the mapping) decodes exactly as its bytes decoded in one block, into the same
// points and frame table; an empty recording is refused as one that cannot be mapped.
//
// Input: the recording's bytes.

#include "fuzz/DecodeRun.h"
#include "telemetry/RecordingView.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <stdexcept>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

using namespace telemetry;

namespace {

// The recording every input is written to: a file in memory, which the viewer opens by its
// name under /proc like any other file; a file on disk slows the fuzzer several times over.
class TScratchRecording {
public:
    TScratchRecording() : fd_(::memfd_create("telmira-fuzz.dcc", MFD_CLOEXEC)) {
        if (fd_ < 0)
            throw std::runtime_error("cannot create the scratch recording");
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~TScratchRecording() { ::close(fd_); }
    TScratchRecording(const TScratchRecording&) = delete;
    TScratchRecording& operator=(const TScratchRecording&) = delete;

    [[nodiscard]] const std::string& Path() const noexcept { return path_; }

    void Write(std::span<const std::uint8_t> bytes) const {
        if (::ftruncate(fd_, 0) != 0 ||
            ::pwrite(fd_, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
            throw std::runtime_error("cannot write the scratch recording");
    }

private:
    int fd_;
    std::string path_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const TScratchRecording recording;
    const std::span<const std::uint8_t> bytes(data, size);
    recording.Write(bytes);

    fuzz::TDecodeRun viewed(DecodeMode::Replay);
    try {
        TViewedFile file(recording.Path());
        TRecordingMapping mapping(file);
        TRecordingView view(mapping);
        view.Replay(viewed.ReplayState, viewed.Values, viewed.Plot, nullptr, &viewed.Frames);
    } catch (const std::runtime_error& failure) {
        fuzz::Require(bytes.empty() && std::strcmp(failure.what(), RecordingMapError) == 0,
                      DecodeMode::Replay, "the viewer refused a recording");
        return 0;
    }
    fuzz::Require(!bytes.empty(), DecodeMode::Replay, "the viewer mapped an empty recording");

    fuzz::TDecodeRun decoded(DecodeMode::Replay);
    decoded.Block(bytes);
    fuzz::RequireSame(decoded, viewed);
    return 0;
}
