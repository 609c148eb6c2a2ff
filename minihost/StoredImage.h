#pragma once

#include "host/Image.h"
#include "minihost/PlaneMemory.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace minihost {

// An image kept in memory: R G B A in the first plane, its other channels in the second, all
// 32-bit floats.
class StoredImage : public Image {
  public:
    StoredImage(int width, int height, const std::vector<int>& extra);

    const std::vector<int>& channelList() const { return Channels; }
    const std::vector<int>& extraChannels() const { return Extra; }
    // Where a channel lives: 0-3 in the first plane, 4 + k at index k of the second, -1 nowhere.
    int slotOf(int channel) const { return Slot[channel]; }

    // Set by the first write; a plain load and store, as nothing orders it with pixels.
    bool written() const { return Written.load(std::memory_order_relaxed); }
    void noteWrite() {
        if (!Written.load(std::memory_order_relaxed))
            Written.store(true, std::memory_order_relaxed);
    }

  private:
    std::vector<int> Channels;
    std::vector<int> Extra;
    std::array<std::int16_t, FloatPixel::Channels> Slot;
    PlaneMemory FirstPlane;
    PlaneMemory SecondPlane;
    std::vector<std::uint8_t*> FirstRowTable;
    std::vector<std::uint8_t*> SecondRowTable;
    std::atomic<bool> Written{false};
};

} // namespace minihost
