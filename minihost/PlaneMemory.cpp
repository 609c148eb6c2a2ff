#include "minihost/PlaneMemory.h"

#include <new>
#include <sys/mman.h>
#include <utility>

namespace minihost {

namespace {

constexpr std::size_t LargePage = std::size_t{2} << 20;

} // namespace

PlaneMemory::PlaneMemory(std::size_t floats) : Bytes(floats * sizeof(float)) {
    if (Bytes == 0)
        return;
    if (Bytes < LargePage) {
        Data = new float[floats]();
        return;
    }
    Bytes = (Bytes + LargePage - 1) / LargePage * LargePage;
    Mapped = true;
    void* memory = mmap(nullptr, Bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        throw std::bad_alloc();
    madvise(memory, Bytes, MADV_HUGEPAGE);
    Data = static_cast<float*>(memory);
}

PlaneMemory::~PlaneMemory() {
    release();
}

PlaneMemory::PlaneMemory(PlaneMemory&& other) noexcept
    : Data(std::exchange(other.Data, nullptr)), Bytes(std::exchange(other.Bytes, 0)),
      Mapped(std::exchange(other.Mapped, false)) {}

PlaneMemory& PlaneMemory::operator=(PlaneMemory&& other) noexcept {
    if (this != &other) {
        release();
        Data = std::exchange(other.Data, nullptr);
        Bytes = std::exchange(other.Bytes, 0);
        Mapped = std::exchange(other.Mapped, false);
    }
    return *this;
}

void PlaneMemory::release() noexcept {
    if (Mapped && Data)
        munmap(Data, Bytes);
    else
        delete[] Data;
    Data = nullptr;
}

} // namespace minihost
