#pragma once

#include <cstddef>
#include <string>

namespace umbrix {

// RunError, naming `file`, when a frame of this size could never fit in this machine's memory. An
// allocation that large may succeed on paper and then be killed when touched, so it is refused
// up front rather than attempted.
void checkFrameFits(std::size_t width, std::size_t height, std::size_t channels,
                    const std::string& file);

} // namespace umbrix
