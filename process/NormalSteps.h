#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

// One bit per pixel of every row but the last: whether the compared normal there equals the one
// in the row below, each component equal as floats. Every row's windows need the bits of 2r - 1
// rows, so each row's are formed once, by the first chunk that needs them, and shared; a chunk
// that finds a row being formed forms its own copy rather than wait. The occlusion windows are the
// only users; nothing else writes the samples while they run.
class NormalSteps {
  public:
    // Sizes the bits for a width x height image and marks every row unformed. Not concurrent with
    // `row`. Throws std::bad_alloc when the memory cannot be had.
    void reset(std::int32_t width, std::int32_t height);

    std::int32_t words() const { return Words; }

    // Row y's bits (y < height - 1), `words()` 64-bit words, bit x % 64 of word x / 64 for column
    // x, bits past the last column clear. form(y, bits) writes them; `scratch` holds `words()`
    // words for a private copy.
    template <class Form>
    const std::uint64_t* row(std::int32_t y, const Form& form, std::uint64_t* scratch) {
        std::atomic<std::uint8_t>& state = States[static_cast<std::size_t>(y)];
        std::uint8_t seen = state.load(std::memory_order_acquire);
        std::uint64_t* shared = Bits.get() + static_cast<std::size_t>(y) * Words;
        if (seen == Formed)
            return shared;
        if (seen == Unformed &&
            state.compare_exchange_strong(seen, Forming, std::memory_order_relaxed)) {
            form(y, shared);
            state.store(Formed, std::memory_order_release);
            return shared;
        }
        form(y, scratch);
        return scratch;
    }

  private:
    static constexpr std::uint8_t Unformed = 0, Forming = 1, Formed = 2;

    std::int32_t Words = 0;
    std::size_t WordCapacity = 0;
    std::size_t RowCapacity = 0;
    std::unique_ptr<std::uint64_t[]> Bits;
    std::unique_ptr<std::atomic<std::uint8_t>[]> States;
};
