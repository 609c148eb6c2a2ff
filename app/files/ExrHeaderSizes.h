#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace umbrix {

// OpenEXR allocates what a header attribute declares before it reads it, so a header of a few
// bytes can make it allocate gigabytes before it finds the file too short. RunError, naming the
// file, when an attribute of the EXR file open as `fd`, `size` bytes long, declares more bytes
// than the file holds after it, or a value the readers would divide by, allocate by, loop over or
// index with is out of range (ExrHeaderValues.h). Anything else malformed is left for OpenEXR to
// report. Returns where the headers end and the chunk offset tables begin, when the scan gets
// there.
std::optional<std::uint64_t> checkExrHeaderSizes(int fd, std::uint64_t size,
                                                 const std::string& path);

} // namespace umbrix
