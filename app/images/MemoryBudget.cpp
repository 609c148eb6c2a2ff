#include "app/images/MemoryBudget.h"

#include "app/Failure.h"

#include <fmt/format.h>
#include <limits>
#include <unistd.h>

namespace umbrix {

namespace {

std::size_t physicalMemory() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0)
        return std::numeric_limits<std::size_t>::max();
    return static_cast<std::size_t>(pages) * static_cast<std::size_t>(pageSize);
}

// The tool's source and result images (R G B A always), the channels kept outside them, and in a
// sequence the frames read and written beside the one rendering: about four copies at most.
constexpr std::size_t CopiesPerFrame = 4;
constexpr std::size_t AlwaysStored = 4;

} // namespace

void checkFrameFits(std::size_t width, std::size_t height, std::size_t channels,
                    const std::string& file) {
    const double bytes = static_cast<double>(width) * static_cast<double>(height) *
                         static_cast<double>(channels + AlwaysStored) * sizeof(float) *
                         CopiesPerFrame;
    const double available = static_cast<double>(physicalMemory());
    if (bytes > available)
        throw RunError(fmt::format("{}: image too large: {}x{} with {} channels needs {:.1f} GiB, "
                                   "this machine has {:.1f} GiB",
                                   file, width, height, channels, bytes / (1 << 30),
                                   available / (1 << 30)),
                       file);
}

} // namespace umbrix
