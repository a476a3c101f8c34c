#pragma once

// Memory for the payloads of one value store's blocks, handed out in order from chunks that
// grow with the store (each a quarter of what the store holds, so that the room held beyond
// the values stays a fraction of them, or 2 MiB) and given back all at once. Once a store
// holds 1 MiB, its chunks are whole huge pages offered to the kernel as such: a long replay
// then takes a page fault per 2 MiB of points instead of one per 4 KiB.

#include <cstddef>
#include <vector>

namespace store {

class TPayloadArena {
public:
    TPayloadArena() = default;
    ~TPayloadArena() { Release(); }
    TPayloadArena(TPayloadArena&& other) noexcept;
    TPayloadArena& operator=(TPayloadArena&& other) noexcept;
    TPayloadArena(const TPayloadArena&) = delete;
    TPayloadArena& operator=(const TPayloadArena&) = delete;

    // Bytes aligned for doubles. Raises std::bad_alloc.
    [[nodiscard]] std::byte* Allocate(std::size_t bytes);
    // Takes over other's chunks, whose payloads stay where they are; needs room for them
    // (ReserveChunks).
    void Adopt(TPayloadArena&& other) noexcept;
    void ReserveChunks(std::size_t more);
    void Release() noexcept;

    // Bytes of the chunks, and bytes handed out of them.
    [[nodiscard]] std::size_t Bytes() const noexcept { return bytes_; }
    [[nodiscard]] std::size_t Used() const noexcept { return used_; }
    [[nodiscard]] std::size_t Chunks() const noexcept { return chunks_.size(); }

private:
    struct TChunk {
        void* Mapping;
        std::size_t MappedBytes;
    };
    std::vector<TChunk> chunks_;
    std::byte* next_ = nullptr;
    std::size_t left_ = 0;
    std::size_t bytes_ = 0;
    std::size_t used_ = 0;
};

} // namespace store
