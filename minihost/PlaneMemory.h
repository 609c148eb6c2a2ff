#pragma once

#include <cstddef>

namespace minihost {

// Zeroed memory for one image plane. Large planes are mapped straight from the system, in large
// pages where it has them, and given back to a cache when they end: the next plane of the same
// size reuses the mapping and costs one clearing pass instead of a page fault per page.
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
