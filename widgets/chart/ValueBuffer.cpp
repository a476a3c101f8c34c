#include "ValueBuffer.h"

#include "ChartSeries.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>

namespace chart {

namespace {

// Below this a value list stays on the ordinary heap.
constexpr std::size_t ReservationThreshold = std::size_t{1} << 20;
// Memory is committed to a reservation in whole huge pages: a huge page is only used where
// all of it is usable when it is first touched.
constexpr std::size_t HugePage = std::size_t{2} << 20;
// The longest list there can be, plus room to align the start.
constexpr std::size_t ReservationBytes = (MaxListSize + 1) * sizeof(double) + 2 * HugePage;

// Where in its first huge page a list starts. A replay appends to twelve lists at once;
// with equal starts, their ends would all fall into the same cache set and evict each
// other on every point. Successive lists start one cache line further along.
std::size_t StaggeredStart() {
    static std::atomic<unsigned> lists{0};
    return (lists++ % 64) * 64;
}

} // namespace

void TValueBuffer::MakeRoomForOne() {
    if (HasRoom())
        return;
    const std::size_t capacity = size_ < capacity_ ? capacity_ : GrownCapacity(capacity_);
    const std::size_t bytes = capacity * sizeof(double);
    if (!reservation_ && bytes < ReservationThreshold) {
        void* p = std::realloc(data_, bytes);
        if (!p)
            throw EOutOfMemory();
        data_ = static_cast<double*>(p);
        capacity_ = usable_ = capacity;
        return;
    }
    if (!reservation_) {
        // Address space only: nothing is committed until it is made usable below.
        void* r = ::mmap(nullptr, ReservationBytes, PROT_NONE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (r == MAP_FAILED)
            throw EOutOfMemory();
        const auto base = reinterpret_cast<std::uintptr_t>(r);
        auto* const start = reinterpret_cast<char*>((base + HugePage - 1) & ~(HugePage - 1));
        ::madvise(start, ReservationBytes - (start - reinterpret_cast<char*>(r)), MADV_HUGEPAGE);
        const std::size_t offset = StaggeredStart();
        const std::size_t first = ((offset + size_ * sizeof(double)) / HugePage + 1) * HugePage;
        if (::mprotect(start, first, PROT_READ | PROT_WRITE) != 0) {
            ::munmap(r, ReservationBytes);
            throw EOutOfMemory();
        }
        if (size_)
            std::memcpy(start + offset, data_, size_ * sizeof(double));
        std::free(data_);
        reservation_ = r;
        committed_ = start;
        data_ = reinterpret_cast<double*>(start + offset);
        committedBytes_ = first;
    } else if (committed_ + committedBytes_ < reinterpret_cast<char*>(data_ + size_ + 1)) {
        if (::mprotect(committed_ + committedBytes_, HugePage, PROT_READ | PROT_WRITE) != 0)
            throw EOutOfMemory();
        committedBytes_ += HugePage;
    }
    capacity_ = capacity;
    const auto committedEnd = reinterpret_cast<double*>(committed_ + committedBytes_);
    usable_ = reservation_ ? std::min<std::size_t>(capacity_, committedEnd - data_) : capacity_;
}

void TValueBuffer::insert(std::size_t index, double value) noexcept {
    std::memmove(data_ + index + 1, data_ + index, (size_ - index) * sizeof(double));
    data_[index] = value;
    ++size_;
}

std::size_t TValueBuffer::bytes() const noexcept {
    return reservation_ ? committedBytes_ : capacity_ * sizeof(double);
}

void TValueBuffer::Release() noexcept {
    if (reservation_)
        ::munmap(reservation_, ReservationBytes);
    else
        std::free(data_);
    data_ = nullptr;
    reservation_ = nullptr;
    committed_ = nullptr;
    size_ = capacity_ = usable_ = committedBytes_ = 0;
}

} // namespace chart
