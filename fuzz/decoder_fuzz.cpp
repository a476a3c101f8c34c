// Decoding a stream in blocks gives what decoding it one byte at a time gives, wherever the
// blocks end, in every mode: the same decoder state, latest values, frame counter, plotted
// points, each series' in the same order, and frame table, whose frames stand in the stream
// where the table says. A live session hands the decoder blocks cut wherever the driver cut
// them; a replay cuts at pages.
//
// Input: byte 0 is a count n, the next n bytes are the sizes of the first blocks (0 is an
// empty block), and the rest is the stream; what the sizes leave of it is the last block.

#include "fuzz/DecodeRun.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

using namespace telemetry;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    if (input.empty())
        return 0;
    const std::size_t count = std::min<std::size_t>(input[0], input.size() - 1);
    const std::span<const std::uint8_t> sizes = input.subspan(1, count);
    const std::span<const std::uint8_t> stream = input.subspan(1 + count);

    for (const DecodeMode mode :
         {DecodeMode::LivePlotting, DecodeMode::LiveRecordingOnly, DecodeMode::Replay}) {
        fuzz::TDecodeRun bytewise(mode);
        for (const std::uint8_t byte : stream)
            bytewise.Byte(byte);

        fuzz::TDecodeRun blockwise(mode);
        std::size_t at = 0;
        for (const std::uint8_t blockSize : sizes) {
            const std::size_t n = std::min<std::size_t>(blockSize, stream.size() - at);
            blockwise.Block(stream.subspan(at, n));
            at += n;
        }
        blockwise.Block(stream.subspan(at));

        fuzz::RequireSame(bytewise, blockwise);
        fuzz::RequireFramesInStream(blockwise, stream);
        if (mode == DecodeMode::LiveRecordingOnly)
            fuzz::Require(bytewise.Plot.Empty() && bytewise.Values.FrameCounter == 0, mode,
                          "recording only plotted or counted a frame");
    }
    return 0;
}
