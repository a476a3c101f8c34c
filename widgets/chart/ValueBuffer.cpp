#include "ValueBuffer.h"

#include "ChartSeries.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace chart {

namespace {

// Below this a value list stays on the ordinary heap.
constexpr std::size_t ReservationThreshold = std::size_t{1} << 20;
constexpr std::size_t HugePage = std::size_t{2} << 20;
// The longest list there can be, plus room to align the start.
constexpr std::size_t ReservationBytes = (MaxListSize + 1) * sizeof(double) + HugePage;

std::size_t PageRounded(std::size_t bytes) {
    static const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return (bytes + page - 1) / page * page;
}

} // namespace

void TValueBuffer::reserve(std::size_t capacity) {
    if (capacity <= capacity_)
        return;
    const std::size_t bytes = capacity * sizeof(double);
    if (!reservation_ && bytes < ReservationThreshold) {
        void* p = std::realloc(data_, bytes);
        if (!p)
            throw EOutOfMemory();
        data_ = static_cast<double*>(p);
    } else {
        if (!reservation_) {
            // Address space only: nothing is committed until pages are made usable.
            void* r = ::mmap(nullptr, ReservationBytes, PROT_NONE,
                             MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
            if (r == MAP_FAILED)
                throw EOutOfMemory();
            auto start = (reinterpret_cast<std::uintptr_t>(r) + HugePage - 1) & ~(HugePage - 1);
            auto* moved = reinterpret_cast<double*>(start);
            const std::size_t first = PageRounded(bytes);
            if (::mprotect(moved, first, PROT_READ | PROT_WRITE) != 0) {
                ::munmap(r, ReservationBytes);
                throw EOutOfMemory();
            }
            ::madvise(moved, ReservationBytes - (start - reinterpret_cast<std::uintptr_t>(r)),
                      MADV_HUGEPAGE);
            if (size_)
                std::memcpy(moved, data_, size_ * sizeof(double));
            std::free(data_);
            reservation_ = r;
            data_ = moved;
            committed_ = first;
        } else {
            const std::size_t wanted = PageRounded(bytes);
            if (wanted > committed_) {
                if (::mprotect(reinterpret_cast<char*>(data_) + committed_, wanted - committed_,
                               PROT_READ | PROT_WRITE) != 0)
                    throw EOutOfMemory();
                committed_ = wanted;
            }
        }
    }
    capacity_ = capacity;
}

void TValueBuffer::insert(std::size_t index, double value) noexcept {
    std::memmove(data_ + index + 1, data_ + index, (size_ - index) * sizeof(double));
    data_[index] = value;
    ++size_;
}

std::size_t TValueBuffer::bytes() const noexcept {
    return reservation_ ? committed_ : capacity_ * sizeof(double);
}

void TValueBuffer::Release() noexcept {
    if (reservation_)
        ::munmap(reservation_, ReservationBytes);
    else
        std::free(data_);
    data_ = nullptr;
    reservation_ = nullptr;
    size_ = capacity_ = committed_ = 0;
}

} // namespace chart
