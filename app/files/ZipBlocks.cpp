#include "app/files/ZipBlocks.h"

#include <algorithm>
#include <libdeflate.h>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace umbrix {

namespace {

// Compressors and decompressors hold tables that are costly to set up for every block, so the ones
// not in use wait here for the next block, whichever thread takes it. Not thread-locals: one with a
// destructor costs glibc an allocation on a thread's first use, and short of memory it aborts the
// process instead of failing the call.
template <typename Coder> class Spares {
  public:
    using Make = Coder* (*)(int level);
    using Free = void (*)(Coder*);
    Spares(Make make, Free free) : MakeOne(make), FreeOne(free) {}

    // One for `level`: a spare if there is one, else a new one.
    Coder* take(int level) {
        {
            const std::lock_guard guard(Lock);
            const auto spare = std::find_if(Idle.begin(), Idle.end(), [level](const auto& kept) {
                return kept.first == level;
            });
            if (spare != Idle.end()) {
                Coder* taken = spare->second;
                Idle.erase(spare);
                return taken;
            }
        }
        Coder* made = MakeOne(level);
        if (!made)
            throw std::bad_alloc();
        return made;
    }
    void give(int level, Coder* done) {
        try {
            const std::lock_guard guard(Lock);
            Idle.emplace_back(level, done);
        } catch (const std::bad_alloc&) {
            FreeOne(done);
        }
    }

  private:
    Make MakeOne;
    Free FreeOne;
    std::mutex Lock;
    std::vector<std::pair<int, Coder*>> Idle;
};

// Never destroyed: a worker may still be zipping while the process exits.
Spares<libdeflate_decompressor>& decompressors() {
    static auto* const kept = new Spares<libdeflate_decompressor>(
        [](int) { return libdeflate_alloc_decompressor(); }, libdeflate_free_decompressor);
    return *kept;
}

Spares<libdeflate_compressor>& compressors() {
    static auto* const kept =
        new Spares<libdeflate_compressor>(libdeflate_alloc_compressor, libdeflate_free_compressor);
    return *kept;
}

// SSE2 is part of every x86-64 processor; other machines take the plain loops, which give the same
// bytes.

// Each byte after the first was stored as its difference from the one before, plus 128: the bytes
// are a running sum.
void undoPredictor(std::uint8_t* bytes, std::size_t size) {
    if (size == 0)
        return;
    std::uint8_t previous = bytes[0];
    std::size_t i = 1;
#if defined(__SSE2__)
    const __m128i bias = _mm_set1_epi8(static_cast<char>(0x80));
    for (; i + 16 <= size; i += 16) {
        __m128i v =
            _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i)), bias);
        v = _mm_add_epi8(v, _mm_slli_si128(v, 1));
        v = _mm_add_epi8(v, _mm_slli_si128(v, 2));
        v = _mm_add_epi8(v, _mm_slli_si128(v, 4));
        v = _mm_add_epi8(v, _mm_slli_si128(v, 8));
        v = _mm_add_epi8(v, _mm_set1_epi8(static_cast<char>(previous)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes + i), v);
        previous = static_cast<std::uint8_t>(_mm_extract_epi16(v, 7) >> 8);
    }
#endif
    for (; i < size; ++i) {
        previous = static_cast<std::uint8_t>(previous + bytes[i] - 128);
        bytes[i] = previous;
    }
}

// The first half (rounded up) holds the even bytes, the rest the odd ones.
void interleave(const std::uint8_t* halves, std::uint8_t* out, std::size_t size) {
    const std::uint8_t* even = halves;
    const std::uint8_t* odd = halves + (size + 1) / 2;
    const std::size_t pairs = size / 2;
    std::size_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= pairs; i += 16) {
        const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(even + i));
        const __m128i o = _mm_loadu_si128(reinterpret_cast<const __m128i*>(odd + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), _mm_unpacklo_epi8(e, o));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i + 16), _mm_unpackhi_epi8(e, o));
    }
#endif
    for (; i < pairs; ++i) {
        out[2 * i] = even[i];
        out[2 * i + 1] = odd[i];
    }
    if (size % 2 != 0)
        out[size - 1] = even[pairs];
}

// The inverse of interleave.
void split(const std::uint8_t* raw, std::uint8_t* halves, std::size_t size) {
    std::uint8_t* even = halves;
    std::uint8_t* odd = halves + (size + 1) / 2;
    const std::size_t pairs = size / 2;
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i low = _mm_set1_epi16(0x00ff);
    for (; i + 16 <= pairs; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(raw + 2 * i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(raw + 2 * i + 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(even + i),
                         _mm_packus_epi16(_mm_and_si128(a, low), _mm_and_si128(b, low)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(odd + i),
                         _mm_packus_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8)));
    }
#endif
    for (; i < pairs; ++i) {
        even[i] = raw[2 * i];
        odd[i] = raw[2 * i + 1];
    }
    if (size % 2 != 0)
        even[pairs] = raw[size - 1];
}

// The inverse of undoPredictor, in place: from the end, so that every difference is taken between
// bytes not yet replaced.
void predict(std::uint8_t* bytes, std::size_t size) {
    std::size_t i = size;
#if defined(__SSE2__)
    const __m128i bias = _mm_set1_epi8(static_cast<char>(0x80));
    for (; i >= 17; i -= 16) {
        const __m128i current = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i - 16));
        const __m128i previous = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i - 17));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes + i - 16),
                         _mm_xor_si128(_mm_sub_epi8(current, previous), bias));
    }
#endif
    for (; i >= 2; --i)
        bytes[i - 1] = static_cast<std::uint8_t>(bytes[i - 1] - bytes[i - 2] + 128);
}

} // namespace

bool unzipBlock(const std::uint8_t* packed, std::size_t packedSize, std::uint8_t* out,
                std::size_t size, std::vector<std::uint8_t>& scratch) {
    scratch.resize(size);
    std::size_t produced = 0;
    libdeflate_decompressor* decompressor = decompressors().take(0);
    const libdeflate_result result = libdeflate_zlib_decompress(decompressor, packed, packedSize,
                                                                scratch.data(), size, &produced);
    decompressors().give(0, decompressor);
    if (result != LIBDEFLATE_SUCCESS || produced != size)
        return false;
    undoPredictor(scratch.data(), size);
    interleave(scratch.data(), out, size);
    return true;
}

std::size_t zipBlock(const std::uint8_t* raw, std::size_t size, int level, std::uint8_t* packed,
                     std::size_t capacity, std::vector<std::uint8_t>& scratch) {
    scratch.resize(size);
    split(raw, scratch.data(), size);
    predict(scratch.data(), size);
    libdeflate_compressor* compressor = compressors().take(level);
    const std::size_t zipped =
        libdeflate_zlib_compress(compressor, scratch.data(), size, packed, capacity);
    compressors().give(level, compressor);
    return zipped;
}

} // namespace umbrix
