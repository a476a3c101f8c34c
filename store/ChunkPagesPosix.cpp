#include "store/ChunkPages.h"

#include <cstdint>
#include <new>

#include <sys/mman.h>

namespace store {

namespace {

constexpr std::size_t HugePage = std::size_t{2} << 20;

} // namespace

TChunkPages MapChunkPages(std::size_t bytes, bool huge) {
    // A huge chunk starts on a huge page: map one more to find that start in.
    const std::size_t mapped = bytes + (huge ? HugePage : 0);
    void* mapping = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mapping == MAP_FAILED)
        throw std::bad_alloc();
    auto* start = static_cast<std::byte*>(mapping);
    if (huge) {
        const auto address = reinterpret_cast<std::uintptr_t>(start);
        start += (address + HugePage - 1) / HugePage * HugePage - address;
        ::madvise(start, bytes, MADV_HUGEPAGE);
    }
    return {mapping, mapped, start};
}

void UnmapChunkPages(void* mapping, std::size_t mappedBytes) noexcept {
    ::munmap(mapping, mappedBytes);
}

} // namespace store
