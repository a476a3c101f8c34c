#pragma once

// Storage of a value list: a growable array of doubles that the growth rule sizes.
// A large array reserves address space for the longest list there can be and makes pages
// usable as it grows, so that it never moves: an hour of points grows a list some fifty
// times, and copying it each time would cost more than adding the points. The reservation
// is aligned for huge pages, which spare most page faults of a long replay.

#include <cstddef>
#include <span>

namespace chart {

class TValueBuffer {
public:
    TValueBuffer() = default;
    ~TValueBuffer() { Release(); }
    TValueBuffer(const TValueBuffer&) = delete;
    TValueBuffer& operator=(const TValueBuffer&) = delete;

    [[nodiscard]] std::size_t size() const noexcept { return size_; }
    [[nodiscard]] std::size_t capacity() const noexcept { return capacity_; }
    [[nodiscard]] bool empty() const noexcept { return size_ == 0; }
    [[nodiscard]] const double* data() const noexcept { return data_; }
    [[nodiscard]] double* data() noexcept { return data_; }
    [[nodiscard]] double operator[](std::size_t i) const noexcept { return data_[i]; }
    [[nodiscard]] double& operator[](std::size_t i) noexcept { return data_[i]; }
    [[nodiscard]] double back() const noexcept { return data_[size_ - 1]; }
    [[nodiscard]] std::span<const double> span() const noexcept { return {data_, size_}; }

    // Makes room for `capacity` values in all; raises EOutOfMemory, leaving the contents.
    void reserve(std::size_t capacity);
    void push_back(double value) noexcept { data_[size_++] = value; } // room is reserved
    void insert(std::size_t index, double value) noexcept;            // room is reserved
    // Bytes of memory the array may use: its capacity, in whole pages once reserved.
    [[nodiscard]] std::size_t bytes() const noexcept;
    void Release() noexcept;

private:
    double* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    void* reservation_ = nullptr; // address space of a large array, or null
    std::size_t committed_ = 0;   // bytes of it that are usable
};

} // namespace chart
