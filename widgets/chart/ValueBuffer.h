#pragma once

// Storage of a value list: a growable array of doubles whose capacity follows the
// sequence growth rule. A large array reserves address space for the longest list there
// can be, so that it never moves: an hour of points grows a list some fifty times, and
// copying it each time would cost more than adding the points. Memory is committed to it
// in huge pages as values arrive, not as capacity grows, which spares most page faults of
// a long replay and keeps the memory a point costs at the size of its values.

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
    [[nodiscard]] double operator[](std::size_t i) const noexcept { return data_[i]; }
    [[nodiscard]] double& operator[](std::size_t i) noexcept { return data_[i]; }
    [[nodiscard]] double back() const noexcept { return data_[size_ - 1]; }
    [[nodiscard]] std::span<const double> span() const noexcept { return {data_, size_}; }

    // One more value fits without a call to MakeRoomForOne.
    [[nodiscard]] bool HasRoom() const noexcept { return size_ < usable_; }
    // Grows the capacity by the growth rule when it is full, and commits memory for one
    // more value; raises EListError or EOutOfMemory, leaving the contents as they were.
    void MakeRoomForOne();
    void push_back(double value) noexcept { data_[size_++] = value; } // HasRoom()
    void insert(std::size_t index, double value) noexcept;            // HasRoom()
    // Bytes of memory the array holds.
    [[nodiscard]] std::size_t bytes() const noexcept;
    void Release() noexcept;

private:
    double* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    std::size_t usable_ = 0;      // values that fit in committed memory, at most capacity_
    void* reservation_ = nullptr; // address space of a large array, or null
    char* committed_ = nullptr;   // its usable memory: committedBytes_ from here
    std::size_t committedBytes_ = 0;
};

} // namespace chart
