#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>

namespace umbrix::process {

// Rows of per-render data that the chunks of one run share and that are each formed once, by the
// first chunk that needs them; a chunk that finds a row being formed waits for it. Forming a row
// must not need another row of the same kind, so no two chunks can wait on each other.
class RowsOnce {
  public:
    // Marks rows 0 .. height - 1 unformed. Not concurrent with `ensure`. Throws std::bad_alloc when
    // the memory cannot be had.
    void reset(std::int32_t height) {
        const auto rows = static_cast<std::size_t>(height > 0 ? height : 0);
        if (rows > Capacity) {
            States.reset();
            Capacity = 0;
            States = std::make_unique<std::atomic<std::uint8_t>[]>(rows);
            Capacity = rows;
        }
        for (std::size_t y = 0; y < rows; ++y)
            States[y].store(Unformed, std::memory_order_relaxed);
    }

    // Returns once form(y) has completed, here or in another chunk. Should form(y) throw, the row
    // is left unformed for the next chunk to try, and the exception passes on.
    template <class Form> void ensure(std::int32_t y, const Form& form) {
        std::atomic<std::uint8_t>& state = States[static_cast<std::size_t>(y)];
        for (;;) {
            std::uint8_t seen = state.load(std::memory_order_acquire);
            if (seen == Formed)
                return;
            if (seen == Forming) {
                // A row takes microseconds to form. std::atomic::wait would tie the plug-in to the
                // library's waiter pool, a unique symbol that keeps the module from unloading.
                std::this_thread::yield();
                continue;
            }
            if (!state.compare_exchange_strong(seen, Forming, std::memory_order_acquire))
                continue;
            try {
                form(y);
            } catch (...) {
                state.store(Unformed, std::memory_order_release);
                throw;
            }
            state.store(Formed, std::memory_order_release);
            return;
        }
    }

  private:
    static constexpr std::uint8_t Unformed = 0, Forming = 1, Formed = 2;

    std::size_t Capacity = 0;
    std::unique_ptr<std::atomic<std::uint8_t>[]> States;
};

} // namespace umbrix::process
