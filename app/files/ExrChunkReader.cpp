#include "app/Failure.h"
#include "app/files/CodecThreads.h"
#include "app/files/ExrChunks.h"
#include "app/files/ExrCore.h"
#include "app/files/ZipBlocks.h"
#include "minihost/Host.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fmt/format.h>
#include <new>
#include <unistd.h>
#include <vector>

namespace umbrix {

namespace {

using namespace exrcore;

struct ReadSource {
    int fd;
    std::uint64_t size;
};

int64_t readAt(exr_const_context_t context, void* user, void* buffer, uint64_t size,
               uint64_t offset, exr_stream_error_func_ptr_t error) {
    const ReadSource& source = *static_cast<const ReadSource*>(user);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = pread(source.fd, static_cast<char*>(buffer) + done, size - done,
                                  static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return error(context, EXR_ERR_READ_IO, "%s", std::strerror(errno)), -1;
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<int64_t>(done);
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

void decodeChunks(exr_const_context_t context, int part, const PartLayout& layout, int first,
                  int end, const Imf::FrameBuffer& buffer, const std::string& path) {
    Decoder decoder(context);
    for (int index = first; index < end; ++index) {
        int x = 0, y = 0, tileX = 0, tileY = 0;
        layout.chunkAt(index, x, y, tileX, tileY);
        exr_chunk_info_t chunk{};
        clearCoreMessage();
        exr_result_t result =
            layout.tiled ? exr_read_tile_chunk_info(context, part, tileX, tileY, 0, 0, &chunk)
                         : exr_read_scanline_chunk_info(context, part, y, &chunk);
        if (result == EXR_ERR_SUCCESS)
            result = decoder.decode(part, chunk, buffer, x, y);
        if (result == EXR_ERR_OUT_OF_MEMORY)
            throw std::bad_alloc();
        if (result != EXR_ERR_SUCCESS) {
            const std::string where = layout.tiled ? fmt::format("tile ({}, {})", tileX, tileY)
                                                   : fmt::format("row {}", y);
            throw RunError(fmt::format("{}: cannot read: {}: {}", path, where,
                                       decoder.corrupt() ? "corrupt zip data" : messageFor(result)),
                           path);
        }
    }
}

} // namespace

void readZipPart(int fd, std::uint64_t size, const std::string& path, int part,
                 const Imf::FrameBuffer& buffer) {
    ReadSource source{fd, size};
    exr_context_initializer_t init = EXR_DEFAULT_CONTEXT_INITIALIZER;
    init.error_handler_fn = keepMessage;
    init.user_data = &source;
    init.read_fn = readAt;
    init.size_fn = sizeOfSource;
    // A damaged offset table is refused, not searched around.
    init.flags = EXR_CONTEXT_FLAG_DISABLE_CHUNK_RECONSTRUCTION | EXR_CONTEXT_FLAG_STRICT_HEADER;
    CoreContext context;
    clearCoreMessage();
    const exr_result_t opened = exr_start_read(context.place(), path.c_str(), &init);
    if (opened != EXR_ERR_SUCCESS)
        throw RunError(fmt::format("{}: cannot read: {}", path, messageFor(opened)), path);
    const PartLayout layout = layoutOf(context, part);
    // A few batches per thread keep every thread busy to the end, each with its buffers reused.
    const int batches = std::min(layout.chunks, std::max(1, minihost::threads()) * 4);
    runOnHostPool(batches, [&](int b) {
        const int first = static_cast<int>(int64_t{layout.chunks} * b / batches);
        const int end = static_cast<int>(int64_t{layout.chunks} * (b + 1) / batches);
        decodeChunks(context, part, layout, first, end, buffer, path);
    });
}

} // namespace umbrix
