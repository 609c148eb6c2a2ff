#pragma once

#include <cstddef>
#include <cstdint>

namespace umbrix {

// Where a descriptor being written stands: its own offset, and the first error of any write.
struct WrittenFile {
    int fd = -1;
    std::uint64_t offset = 0;
    int error = 0; // errno of the first failure; later writes do nothing

    // Writes `size` bytes at `at`, moving the descriptor only when it must, so that writes in
    // order reach pipes and devices, which cannot seek. Returns the bytes written.
    std::size_t writeAt(const void* data, std::size_t size, std::uint64_t at);
    // Makes a regular file durable and closes it, keeping the first error.
    void syncAndClose(bool regular);
};

} // namespace umbrix
