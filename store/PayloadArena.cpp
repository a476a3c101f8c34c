#include "store/PayloadArena.h"

#include "store/ChunkPages.h"

#include <algorithm>
#include <utility>

namespace store {

namespace {

constexpr std::size_t SmallestChunk = std::size_t{16} << 10;
// From half a huge page of payloads on, chunks are whole huge pages.
constexpr std::size_t HugePage = std::size_t{2} << 20;

std::size_t RoundUp(std::size_t n, std::size_t to) noexcept {
    return (n + to - 1) / to * to;
}

} // namespace

TPayloadArena::TPayloadArena(TPayloadArena&& other) noexcept
    : chunks_(std::move(other.chunks_)), next_(other.next_), left_(other.left_),
      bytes_(other.bytes_), used_(other.used_) {
    other.chunks_.clear();
    other.next_ = nullptr;
    other.left_ = other.bytes_ = other.used_ = 0;
}

TPayloadArena& TPayloadArena::operator=(TPayloadArena&& other) noexcept {
    if (this != &other) {
        Release();
        chunks_ = std::move(other.chunks_);
        next_ = other.next_;
        left_ = other.left_;
        bytes_ = other.bytes_;
        used_ = other.used_;
        other.chunks_.clear();
        other.next_ = nullptr;
        other.left_ = other.bytes_ = other.used_ = 0;
    }
    return *this;
}

std::byte* TPayloadArena::Allocate(std::size_t bytes) {
    bytes = RoundUp(bytes, alignof(double));
    if (bytes > left_) {
        std::size_t size = RoundUp(std::max({SmallestChunk, bytes_ / 4, bytes}), 4096);
        const bool huge = bytes_ >= HugePage / 2;
        if (huge)
            size = RoundUp(size, HugePage);
        ReserveChunks(1);
        const TChunkPages pages = MapChunkPages(size, huge);
        chunks_.push_back({pages.Mapping, pages.MappedBytes});
        next_ = pages.Start;
        left_ = size;
        bytes_ += size;
    }
    std::byte* const block = next_;
    next_ += bytes;
    left_ -= bytes;
    used_ += bytes;
    return block;
}

void TPayloadArena::ReserveChunks(std::size_t more) {
    if (chunks_.capacity() < chunks_.size() + more)
        chunks_.reserve(std::max(chunks_.size() + more, 2 * chunks_.capacity()));
}

void TPayloadArena::Adopt(TPayloadArena&& other) noexcept {
    chunks_.insert(chunks_.end(), other.chunks_.begin(), other.chunks_.end());
    bytes_ += other.bytes_;
    used_ += other.used_;
    // Further payloads go into whichever chunk has more room left.
    if (other.left_ > left_) {
        next_ = other.next_;
        left_ = other.left_;
    }
    other.chunks_.clear();
    other.next_ = nullptr;
    other.left_ = other.bytes_ = other.used_ = 0;
}

void TPayloadArena::Release() noexcept {
    for (const TChunk& chunk : chunks_)
        UnmapChunkPages(chunk.Mapping, chunk.MappedBytes);
    std::vector<TChunk>().swap(chunks_);
    next_ = nullptr;
    left_ = bytes_ = used_ = 0;
}

} // namespace store
