#include "PayloadArena.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <utility>

#include <sys/mman.h>

namespace chart {

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
        // A huge chunk starts on a huge page: map one more to find that start in.
        const std::size_t mapped = size + (huge ? HugePage : 0);
        void* mapping = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE,
                               MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (mapping == MAP_FAILED)
            throw std::bad_alloc();
        auto* start = static_cast<std::byte*>(mapping);
        if (huge) {
            const auto address = reinterpret_cast<std::uintptr_t>(start);
            start += RoundUp(address, HugePage) - address;
            ::madvise(start, size, MADV_HUGEPAGE);
        }
        chunks_.push_back({mapping, mapped});
        next_ = start;
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
        ::munmap(chunk.Mapping, chunk.MappedBytes);
    std::vector<TChunk>().swap(chunks_);
    next_ = nullptr;
    left_ = bytes_ = used_ = 0;
}

} // namespace chart
