#pragma once

// The pages under the payload arena's chunks, from the system: one implementation per
// platform (ChunkPagesPosix.cpp, ChunkPagesWin32.cpp), chosen at build time.

#include <cstddef>

namespace store {

struct TChunkPages {
    // What to give back to the system, and where the chunk starts within it.
    void* Mapping;
    std::size_t MappedBytes;
    std::byte* Start;
};

// bytes of zeroed read-write memory, a multiple of 4 KiB, backed by memory as it is touched. huge
// (bytes a multiple of 2 MiB) asks for the chunk on huge pages where the system gives them to
// any program. Raises std::bad_alloc.
[[nodiscard]] TChunkPages MapChunkPages(std::size_t bytes, bool huge);
void UnmapChunkPages(void* mapping, std::size_t mappedBytes) noexcept;

} // namespace store
