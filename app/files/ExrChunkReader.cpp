#include "app/Failure.h"
#include "app/files/CodecThreads.h"
#include "app/files/ExrChunks.h"
#include "app/files/ExrCore.h"
#include "app/files/ExrHeaderSizes.h"
#include "app/files/ZipBlocks.h"
#include "minihost/Host.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fmt/format.h>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <unistd.h>
#include <vector>

namespace umbrix {

namespace {

using namespace exrcore;

// Reads up to `size` bytes at `offset`, fewer only at the end of the file; -1 with errno set on
// failure.
int64_t readUpTo(int fd, void* buffer, std::size_t size, std::uint64_t offset) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = pread(fd, static_cast<char*>(buffer) + done, size - done,
                                  static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<int64_t>(done);
}

struct ReadSource {
    int fd;
    std::uint64_t size;
    // The part's first-level chunk offsets, read in place of the `table.size()` entries of the
    // file's table at `tableAt` when the file's own are wrong; empty: the file's own.
    std::uint64_t tableAt = 0;
    std::vector<std::uint64_t> table;

    void overlay(std::uint8_t* bytes, std::uint64_t offset, std::uint64_t count) const {
        const std::uint64_t from = std::max(offset, tableAt);
        const std::uint64_t to = std::min(offset + count, tableAt + 8 * table.size());
        for (std::uint64_t at = from; at < to; ++at)
            bytes[at - offset] =
                static_cast<std::uint8_t>(table[(at - tableAt) / 8] >> (8 * ((at - tableAt) % 8)));
    }
};

int64_t readAt(exr_const_context_t context, void* user, void* buffer, uint64_t size,
               uint64_t offset, exr_stream_error_func_ptr_t error) {
    const ReadSource& source = *static_cast<const ReadSource*>(user);
    const int64_t done = readUpTo(source.fd, buffer, size, offset);
    if (done < 0)
        return error(context, EXR_ERR_READ_IO, "%s", std::strerror(errno)), -1;
    if (!source.table.empty())
        source.overlay(static_cast<std::uint8_t*>(buffer), offset,
                       static_cast<std::uint64_t>(done));
    return done;
}

int64_t sizeOfSource(exr_const_context_t, void* user) {
    return static_cast<int64_t>(static_cast<const ReadSource*>(user)->size);
}

struct DecodeScratch {
    std::vector<std::uint8_t> bytes;
    bool corrupt = false;
};

exr_result_t inflateChunk(exr_decode_pipeline_t* pipe) {
    const std::size_t packed = pipe->chunk.packed_size;
    const std::size_t size = pipe->chunk.unpacked_size;
    if (size == 0)
        return EXR_ERR_SUCCESS;
    if (pipe->unpacked_buffer == pipe->packed_buffer && packed == size)
        return EXR_ERR_SUCCESS;
    if (!reserve(pipe->unpacked_buffer, pipe->unpacked_alloc_size, size))
        return EXR_ERR_OUT_OF_MEMORY;
    auto* out = static_cast<std::uint8_t*>(pipe->unpacked_buffer);
    const auto* in = static_cast<const std::uint8_t*>(pipe->packed_buffer);
    // A block that deflate could not shrink is stored as it is.
    if (packed == size) {
        std::memcpy(out, in, size);
        return EXR_ERR_SUCCESS;
    }
    auto& scratch = *static_cast<DecodeScratch*>(pipe->decoding_user_data);
    if (!unzipBlock(in, packed, out, size, scratch.bytes)) {
        scratch.corrupt = true;
        return EXR_ERR_CORRUPT_CHUNK;
    }
    return EXR_ERR_SUCCESS;
}

class Decoder {
  public:
    explicit Decoder(exr_const_context_t context) : Context(context) {}
    ~Decoder() {
        if (Started)
            exr_decoding_destroy(Context, &Pipe);
    }
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    exr_result_t decode(int part, const exr_chunk_info_t& chunk, const Imf::FrameBuffer& buffer,
                        int x, int y) {
        exr_result_t result = Started ? exr_decoding_update(Context, part, &chunk, &Pipe)
                                      : exr_decoding_initialize(Context, part, &chunk, &Pipe);
        if (result != EXR_ERR_SUCCESS)
            return result;
        Started = true;
        Pipe.alloc_fn = allocate;
        Pipe.free_fn = release;
        pointChannels(Pipe.channels, Pipe.channel_count, buffer, x, y, true);
        result = exr_decoding_choose_default_routines(Context, part, &Pipe);
        if (result != EXR_ERR_SUCCESS)
            return result;
        Pipe.decompress_fn = inflateChunk;
        Pipe.decoding_user_data = &Scratch;
        return exr_decoding_run(Context, part, &Pipe);
    }
    bool corrupt() const { return Scratch.corrupt; }

  private:
    exr_const_context_t Context;
    exr_decode_pipeline_t Pipe{}; // all zero, as OpenEXR's initializer makes it
    bool Started = false;
    DecodeScratch Scratch;
};

std::string placeOf(const PartLayout& layout, int index) {
    int x = 0, y = 0, tileX = 0, tileY = 0;
    layout.chunkAt(index, x, y, tileX, tileY);
    return layout.tiled ? fmt::format("tile ({}, {})", tileX, tileY) : fmt::format("row {}", y);
}

// Runs work(first, end) over consecutive ranges of the part's chunks on the host's pool. A few
// batches per thread keep every thread busy to the end, each with its buffers reused.
void inBatches(const PartLayout& layout, const std::function<void(int first, int end)>& work) {
    const int batches = std::min(layout.chunks, std::max(1, minihost::threads()) * 4);
    runOnHostPool(batches, [&](int b) {
        work(static_cast<int>(int64_t{layout.chunks} * b / batches),
             static_cast<int>(int64_t{layout.chunks} * (b + 1) / batches));
    });
}

struct MissingChunk {
    int index = -1; // -1: none is
    std::string message;
};

MissingChunk findChunk(exr_const_context_t context, int part, const PartLayout& layout, int index,
                       exr_chunk_info_t& chunk) {
    int x = 0, y = 0, tileX = 0, tileY = 0;
    layout.chunkAt(index, x, y, tileX, tileY);
    clearCoreMessage();
    const exr_result_t result =
        layout.tiled ? exr_read_tile_chunk_info(context, part, tileX, tileY, 0, 0, &chunk)
                     : exr_read_scanline_chunk_info(context, part, y, &chunk);
    if (result == EXR_ERR_OUT_OF_MEMORY)
        throw std::bad_alloc();
    if (result != EXR_ERR_SUCCESS)
        return {index, messageFor(result)};
    return {};
}

// Where each of the part's first-level chunks lies and what it holds, as the offset table says;
// the first the table gives wrong, if any. The core checks each chunk's header against the table,
// and, with the first, the table against the file's size, before `chunks` is made to hold them.
MissingChunk findChunks(exr_const_context_t context, int part, const PartLayout& layout,
                        std::vector<exr_chunk_info_t>& chunks) {
    chunks.assign(1, exr_chunk_info_t{});
    MissingChunk missing = findChunk(context, part, layout, 0, chunks[0]);
    if (missing.index >= 0)
        return missing;
    chunks.resize(static_cast<std::size_t>(layout.chunks));
    std::mutex lock;
    inBatches(layout, [&](int first, int end) {
        for (int index = std::max(first, 1); index < end; ++index) {
            MissingChunk found =
                findChunk(context, part, layout, index, chunks[static_cast<std::size_t>(index)]);
            if (found.index < 0)
                continue;
            const std::lock_guard guard(lock);
            if (missing.index < 0 || found.index < missing.index)
                missing = std::move(found);
            return;
        }
    });
    return missing;
}

// A little-endian number of `count` bytes.
std::uint64_t numberAt(const std::uint8_t* bytes, int count) {
    std::uint64_t value = 0;
    for (int k = count - 1; k >= 0; --k)
        value = value << 8 | bytes[k];
    return value;
}

// The first-level table index of a chunk whose header holds `fields` (y, or tile x, tile y, level
// x, level y), if they are those of a chunk of the part: -1 for another level's tile, nullopt
// when no chunk of the part has them.
std::optional<int> chunkNamed(exr_const_context_t context, int part, const PartLayout& layout,
                              const std::int32_t* fields) {
    if (!layout.tiled) {
        const int64_t line = int64_t{fields[0]} - layout.data.min.y;
        if (line < 0 || line % layout.linesPerChunk != 0 ||
            line / layout.linesPerChunk >= layout.chunks)
            return std::nullopt;
        return static_cast<int>(line / layout.linesPerChunk);
    }
    const std::int32_t tileX = fields[0], tileY = fields[1], levelX = fields[2], levelY = fields[3];
    uint32_t width = 0, height = 0;
    exr_tile_level_mode_t levels{};
    exr_tile_round_mode_t rounding{};
    int32_t levelsX = 0, levelsY = 0, levelWidth = 0, levelHeight = 0;
    if (exr_get_tile_descriptor(context, part, &width, &height, &levels, &rounding) != 0 ||
        exr_get_tile_levels(context, part, &levelsX, &levelsY) != 0 || levelX < 0 || levelY < 0 ||
        levelX >= levelsX || levelY >= levelsY ||
        (levels == EXR_TILE_MIPMAP_LEVELS && levelX != levelY) ||
        exr_get_level_sizes(context, part, levelX, levelY, &levelWidth, &levelHeight) != 0 ||
        tileX < 0 || tileY < 0 || int64_t{tileX} * width >= levelWidth ||
        int64_t{tileY} * height >= levelHeight)
        return std::nullopt;
    if (levelX != 0 || levelY != 0)
        return -1;
    return tileY * layout.columns + tileX;
}

// The part's first-level chunk offsets as OpenEXR's C++ reader rebuilds a broken table: walking
// the chunks in file order from the end of the tables, each where the one before ends, up to the
// first whose header names no chunk of the part or whose data does not fit in the file. The
// file's own entry stays for a chunk the walk does not reach. Only a file of one part: nullopt for
// others and where the tables do not fit in the file. Bounded by the file's chunk count; allocates
// no more than the table the core already holds.
std::optional<std::vector<std::uint64_t>> walkChunks(exr_const_context_t context, int part,
                                                     const PartLayout& layout,
                                                     const ReadSource& source,
                                                     std::uint64_t tablesAt) {
    int parts = 0;
    int32_t total = 0;
    if (exr_get_count(context, &parts) != 0 || parts != 1 ||
        exr_get_chunk_count(context, part, &total) != 0 || total < layout.chunks)
        return std::nullopt;
    const std::uint64_t tablesEnd = tablesAt + 8 * static_cast<std::uint64_t>(total);
    if (tablesAt > source.size || tablesEnd > source.size)
        return std::nullopt;
    std::vector<std::uint64_t> table(static_cast<std::size_t>(layout.chunks));
    std::vector<std::uint8_t> bytes(8 * table.size());
    if (readUpTo(source.fd, bytes.data(), bytes.size(), tablesAt) !=
        static_cast<int64_t>(bytes.size()))
        return std::nullopt;
    for (std::size_t k = 0; k < table.size(); ++k)
        table[k] = numberAt(&bytes[8 * k], 8);
    // A chunk's header: its y, or its tile and level, then the size of its data.
    const int fieldCount = layout.tiled ? 5 : 2;
    const std::uint64_t headerBytes = 4 * static_cast<std::uint64_t>(fieldCount);
    std::uint64_t at = tablesEnd;
    for (int32_t step = 0; step < total && source.size - at >= headerBytes; ++step) {
        std::uint8_t header[20];
        if (readUpTo(source.fd, header, headerBytes, at) != static_cast<int64_t>(headerBytes))
            break;
        std::int32_t fields[5];
        for (int f = 0; f < fieldCount; ++f)
            fields[f] = static_cast<std::int32_t>(numberAt(header + 4 * f, 4));
        const std::int32_t packed = fields[fieldCount - 1];
        const std::optional<int> index = chunkNamed(context, part, layout, fields);
        if (!index || packed <= 0 ||
            static_cast<std::uint64_t>(packed) > source.size - at - headerBytes)
            break;
        if (*index >= 0)
            table[static_cast<std::size_t>(*index)] = at;
        at += headerBytes + static_cast<std::uint64_t>(packed);
    }
    return table;
}

void openCore(CoreContext& context, ReadSource& source, const std::string& path) {
    exr_context_initializer_t init = EXR_DEFAULT_CONTEXT_INITIALIZER;
    init.error_handler_fn = keepMessage;
    init.user_data = &source;
    init.read_fn = readAt;
    init.size_fn = sizeOfSource;
    // The core's own search of a damaged file is not the C++ reader's: walkChunks stands for it.
    init.flags = EXR_CONTEXT_FLAG_DISABLE_CHUNK_RECONSTRUCTION | EXR_CONTEXT_FLAG_STRICT_HEADER;
    clearCoreMessage();
    const exr_result_t opened = exr_start_read(context.place(), path.c_str(), &init);
    if (opened != EXR_ERR_SUCCESS)
        throw RunError(fmt::format("{}: cannot read: {}", path, messageFor(opened)), path);
}

void decodeChunks(exr_const_context_t context, int part, const PartLayout& layout,
                  const std::vector<exr_chunk_info_t>& chunks, int first, int end,
                  const Imf::FrameBuffer& buffer, const std::string& path) {
    Decoder decoder(context);
    for (int index = first; index < end; ++index) {
        int x = 0, y = 0, tileX = 0, tileY = 0;
        layout.chunkAt(index, x, y, tileX, tileY);
        clearCoreMessage();
        const exr_result_t result =
            decoder.decode(part, chunks[static_cast<std::size_t>(index)], buffer, x, y);
        if (result == EXR_ERR_OUT_OF_MEMORY)
            throw std::bad_alloc();
        if (result != EXR_ERR_SUCCESS)
            throw RunError(fmt::format("{}: cannot read: {}: {}", path, placeOf(layout, index),
                                       decoder.corrupt() ? "corrupt zip data" : messageFor(result)),
                           path);
    }
}

} // namespace

void readZipPart(int fd, std::uint64_t size, const std::string& path, int part,
                 const Imf::FrameBuffer& buffer) {
    ReadSource source{fd, size, 0, {}};
    auto context = std::make_unique<CoreContext>();
    openCore(*context, source, path);
    const PartLayout layout = layoutOf(*context, part);
    std::vector<exr_chunk_info_t> chunks;
    MissingChunk missing = findChunks(*context, part, layout, chunks);
    if (missing.index >= 0) {
        // The core holds the table it read: a fresh context reads the rebuilt one in its place.
        const std::optional<std::uint64_t> tablesAt = checkExrHeaderSizes(fd, size, path);
        std::optional<std::vector<std::uint64_t>> table;
        if (tablesAt)
            table = walkChunks(*context, part, layout, source, *tablesAt);
        if (table) {
            context.reset();
            source.tableAt = *tablesAt;
            source.table = std::move(*table);
            context = std::make_unique<CoreContext>();
            openCore(*context, source, path);
            missing = findChunks(*context, part, layout, chunks);
        }
    }
    if (missing.index >= 0)
        throw RunError(fmt::format("{}: cannot read: {}: {}", path, placeOf(layout, missing.index),
                                   missing.message),
                       path);
    inBatches(layout, [&](int first, int end) {
        decodeChunks(*context, part, layout, chunks, first, end, buffer, path);
    });
}

} // namespace umbrix
