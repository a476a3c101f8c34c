#include "store/ChunkPages.h"

#include <new>

#include <windows.h>

namespace store {

// Windows gives large pages only to programs holding the "lock pages in memory" privilege,
// which a user's program does not: every chunk is on ordinary pages.
TChunkPages MapChunkPages(std::size_t bytes, bool) {
    void* mapping = ::VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!mapping)
        throw std::bad_alloc();
    return {mapping, bytes, static_cast<std::byte*>(mapping)};
}

void UnmapChunkPages(void* mapping, std::size_t) noexcept {
    ::VirtualFree(mapping, 0, MEM_RELEASE);
}

} // namespace store
