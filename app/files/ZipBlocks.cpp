#include "app/files/ZipBlocks.h"

#include <libdeflate.h>
#include <memory>
#include <new>

namespace umbrix {

namespace {

struct DecompressorFree {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};
struct CompressorFree {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

// One of each per thread: they hold tables that are costly to set up for every block.
libdeflate_decompressor& decompressor() {
    thread_local std::unique_ptr<libdeflate_decompressor, DecompressorFree> held;
    if (!held) {
        held.reset(libdeflate_alloc_decompressor());
        if (!held)
            throw std::bad_alloc();
    }
    return *held;
}

libdeflate_compressor& compressor(int level) {
    thread_local std::unique_ptr<libdeflate_compressor, CompressorFree> held;
    thread_local int heldLevel = 0;
    if (!held || heldLevel != level) {
        held.reset(libdeflate_alloc_compressor(level));
        if (!held)
            throw std::bad_alloc();
        heldLevel = level;
    }
    return *held;
}

// Each byte after the first was stored as its difference from the one before, plus 128.
void undoPredictor(std::uint8_t* bytes, std::size_t size) {
    std::uint8_t previous = size > 0 ? bytes[0] : 0;
    for (std::size_t i = 1; i < size; ++i) {
        previous = static_cast<std::uint8_t>(previous + bytes[i] - 128);
        bytes[i] = previous;
    }
}

// The first half (rounded up) holds the even bytes, the rest the odd ones.
void interleave(const std::uint8_t* halves, std::uint8_t* out, std::size_t size) {
    const std::uint8_t* even = halves;
    const std::uint8_t* odd = halves + (size + 1) / 2;
    const std::size_t pairs = size / 2;
    for (std::size_t i = 0; i < pairs; ++i) {
        out[2 * i] = even[i];
        out[2 * i + 1] = odd[i];
    }
    if (size % 2 != 0)
        out[size - 1] = even[pairs];
}

} // namespace

bool unzipBlock(const std::uint8_t* packed, std::size_t packedSize, std::uint8_t* out,
                std::size_t size, std::vector<std::uint8_t>& scratch) {
    scratch.resize(size);
    std::size_t produced = 0;
    const libdeflate_result result = libdeflate_zlib_decompress(&decompressor(), packed, packedSize,
                                                                scratch.data(), size, &produced);
    if (result != LIBDEFLATE_SUCCESS || produced != size)
        return false;
    undoPredictor(scratch.data(), size);
    interleave(scratch.data(), out, size);
    return true;
}

void zipBlock(const std::uint8_t* raw, std::size_t size, int level,
              std::vector<std::uint8_t>& packed, std::vector<std::uint8_t>& scratch) {
    scratch.resize(size);
    const std::size_t half = (size + 1) / 2;
    for (std::size_t i = 0; i < size; ++i)
        scratch[(i % 2 != 0 ? half : 0) + i / 2] = raw[i];
    std::uint8_t previous = size > 0 ? scratch[0] : 0;
    for (std::size_t i = 1; i < size; ++i) {
        const std::uint8_t current = scratch[i];
        scratch[i] = static_cast<std::uint8_t>(current - previous + 128);
        previous = current;
    }
    libdeflate_compressor& c = compressor(level);
    packed.resize(libdeflate_zlib_compress_bound(&c, size));
    packed.resize(libdeflate_zlib_compress(&c, scratch.data(), size, packed.data(), packed.size()));
}

} // namespace umbrix
