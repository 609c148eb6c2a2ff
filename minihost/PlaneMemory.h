#pragma once

#include <cstddef>

namespace minihost {

// Zeroed memory for one image plane. Large planes are mapped straight from the system, in large
// pages where it has them, so that a new plane costs a page fault per large page, and are given
// back to the system when they end. (Keeping ended planes for the next image would save those
// faults, but a program that reads, renders and writes frames at once would hold a frame's worth
// of planes more at its peak.)
class PlaneMemory {
  public:
    PlaneMemory() = default;
    // Throws std::bad_alloc when the memory cannot be had.
    explicit PlaneMemory(std::size_t floats);
    ~PlaneMemory();
    PlaneMemory(PlaneMemory&& other) noexcept;
    PlaneMemory& operator=(PlaneMemory&& other) noexcept;
    PlaneMemory(const PlaneMemory&) = delete;
    PlaneMemory& operator=(const PlaneMemory&) = delete;

    float* data() const { return Data; }

  private:
    void release() noexcept;

    float* Data = nullptr;
    std::size_t Bytes = 0;
    bool Mapped = false;
};

} // namespace minihost
