#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace umbrix {

// EXR's zip and zips blocks: a zlib stream of the block's bytes reordered (even bytes, then odd
// ones) and delta-coded, so that the slowly changing high bytes of neighbouring samples compress
// well. Deflate and inflate are libdeflate's. Both work on raw bytes alone, so that a fuzzer can
// call them.

// Decodes `packed` into exactly `size` bytes at `out`. False, with `out` undefined, when the
// stream is corrupt or does not give exactly `size` bytes; never reads or writes past a buffer.
// `scratch` is reused between calls.
bool unzipBlock(const std::uint8_t* packed, std::size_t packedSize, std::uint8_t* out,
                std::size_t size, std::vector<std::uint8_t>& scratch);

// Encodes `size` bytes at `raw` at zlib level `level` (1 to 9) into `packed`, which holds
// `capacity` bytes. Returns the bytes written, or 0 when they would not fit: a block that does
// not shrink is stored as it is, so `size` - 1 bytes are all a caller needs. `scratch` is reused
// between calls.
std::size_t zipBlock(const std::uint8_t* raw, std::size_t size, int level, std::uint8_t* packed,
                     std::size_t capacity, std::vector<std::uint8_t>& scratch);

} // namespace umbrix
