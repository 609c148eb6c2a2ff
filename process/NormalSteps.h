#pragma once

#include "process/RowsOnce.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace umbrix::process {

// One bit per pixel of every row but the last: whether the compared normal there equals the one
// in the row below, each component equal as floats. Every row's windows need the bits of 2r - 1
// rows, so each row's are formed once, by the first chunk that needs them, and shared. Forming
// them reads only normals, which are in place before the windows run.
class NormalSteps {
  public:
    // Sizes the bits for a width x height image and marks every row unformed. Not concurrent with
    // `row`. Throws std::bad_alloc when the memory cannot be had.
    void reset(std::int32_t width, std::int32_t height);

    std::int32_t words() const { return Words; }

    // Row y's bits (y < height - 1), `words()` 64-bit words, bit x % 64 of word x / 64 for column
    // x, bits past the last column clear; form(y, bits) writes them.
    template <class Form> const std::uint64_t* row(std::int32_t y, const Form& form) {
        std::uint64_t* bits = Bits.get() + static_cast<std::size_t>(y) * Words;
        Formed.ensure(y, [&](std::int32_t) { form(y, bits); });
        return bits;
    }

  private:
    std::int32_t Words = 0;
    std::size_t Capacity = 0;
    std::unique_ptr<std::uint64_t[]> Bits;
    RowsOnce Formed;
};

} // namespace umbrix::process
