#include "minihost/PlaneMemory.h"

#include <cstring>
#include <mutex>
#include <new>
#include <sys/mman.h>
#include <utility>
#include <vector>

namespace minihost {

namespace {

constexpr std::size_t LargePage = std::size_t{2} << 20;

// Mapped planes given back by images that ended, kept for the next image of the same size: a host
// makes image after image of one frame size, and clearing a plane that is still mapped costs a
// fraction of the page faults and the kernel's clearing that a fresh mapping costs.
class PlaneCache {
  public:
    static constexpr std::size_t MostBytes = std::size_t{1} << 30;

    // A kept mapping of exactly `bytes`, not yet cleared, or null.
    void* take(std::size_t bytes) {
        const std::lock_guard lock(Mutex);
        for (auto kept = Kept.rbegin(); kept != Kept.rend(); ++kept)
            if (kept->bytes == bytes) {
                void* memory = kept->memory;
                Kept.erase(std::next(kept).base());
                KeptBytes -= bytes;
                return memory;
            }
        return nullptr;
    }

    // Keeps a mapping for reuse, unmapping the longest kept ones to stay within MostBytes.
    void give(void* memory, std::size_t bytes) noexcept {
        std::vector<Mapping> unmap;
        {
            const std::lock_guard lock(Mutex);
            try {
                Kept.push_back({memory, bytes});
                KeptBytes += bytes;
                while (KeptBytes > MostBytes) {
                    unmap.push_back(Kept.front());
                    KeptBytes -= Kept.front().bytes;
                    Kept.erase(Kept.begin());
                }
            } catch (const std::bad_alloc&) {
                munmap(memory, bytes);
            }
        }
        for (const Mapping& mapping : unmap)
            munmap(mapping.memory, mapping.bytes);
    }

  private:
    struct Mapping {
        void* memory;
        std::size_t bytes;
    };
    std::mutex Mutex;
    std::vector<Mapping> Kept;
    std::size_t KeptBytes = 0;
};

PlaneCache& planeCache() {
    // Never destroyed: images may end during the program's own exit.
    static auto* cache = new PlaneCache;
    return *cache;
}

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
    if (void* kept = planeCache().take(Bytes)) {
        std::memset(kept, 0, Bytes);
        Data = static_cast<float*>(kept);
        return;
    }
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
        planeCache().give(Data, Bytes);
    else
        delete[] Data;
    Data = nullptr;
}

} // namespace minihost
