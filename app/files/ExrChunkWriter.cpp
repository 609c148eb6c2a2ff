#include "app/files/ChunkQueue.h"
#include "app/files/ExrChunks.h"
#include "app/files/ExrCore.h"
#include "app/files/ExrStreams.h"
#include "app/files/ZipBlocks.h"
#include "minihost/Host.h"

#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfIO.h>
#include <OpenEXR/ImfMultiPartOutputFile.h>
#include <algorithm>
#include <cstring>
#include <exception>
#include <new>
#include <stdexcept>
#include <vector>

namespace umbrix {

namespace {

using namespace exrcore;

// The header as OpenEXR's C++ API writes it, so that every attribute it knows of keeps its form;
// the core library then takes them from these bytes.
class HeaderBytes : public Imf::OStream {
  public:
    HeaderBytes() : OStream("header") {}
    void write(const char c[], int n) override {
        if (Bytes.size() < Position + static_cast<std::size_t>(n))
            Bytes.resize(Position + static_cast<std::size_t>(n));
        std::memcpy(Bytes.data() + Position, c, static_cast<std::size_t>(n));
        Position += static_cast<std::size_t>(n);
    }
    uint64_t tellp() override { return Position; }
    void seekp(uint64_t position) override { Position = position; }
    const std::vector<char>& bytes() const { return Bytes; }

  private:
    std::vector<char> Bytes;
    std::size_t Position = 0;
};

int64_t readHeaderBytes(exr_const_context_t, void* user, void* buffer, uint64_t size,
                        uint64_t offset, exr_stream_error_func_ptr_t) {
    const auto& bytes = *static_cast<const std::vector<char>*>(user);
    if (offset >= bytes.size())
        return 0;
    const std::size_t count = std::min<std::size_t>(size, bytes.size() - offset);
    std::memcpy(buffer, bytes.data() + offset, count);
    return static_cast<int64_t>(count);
}

int64_t sizeOfHeaderBytes(exr_const_context_t, void* user) {
    return static_cast<int64_t>(static_cast<const std::vector<char>*>(user)->size());
}

int64_t writeToStream(exr_const_context_t context, void* user, const void* buffer, uint64_t size,
                      uint64_t offset, exr_stream_error_func_ptr_t error) {
    auto& stream = *static_cast<ExrWriteStream*>(user);
    try {
        if (stream.tellp() != offset)
            stream.seekp(offset);
        constexpr uint64_t Piece = uint64_t{1} << 30;
        for (uint64_t done = 0; done < size; done += std::min(size - done, Piece))
            stream.write(static_cast<const char*>(buffer) + done,
                         static_cast<int>(std::min(size - done, Piece)));
    } catch (const std::exception& e) {
        return error(context, EXR_ERR_WRITE_IO, "%s", e.what()), -1;
    }
    return static_cast<int64_t>(size);
}

void check(exr_result_t result) {
    if (result == EXR_ERR_OUT_OF_MEMORY)
        throw std::bad_alloc();
    if (result != EXR_ERR_SUCCESS)
        throw std::runtime_error(messageFor(result));
}

struct EncodeSink {
    int level = 4;
    std::vector<std::uint8_t>* out = nullptr;
    std::vector<std::uint8_t> scratch;
};

exr_result_t deflateChunk(exr_encode_pipeline_t* pipe) {
    auto& sink = *static_cast<EncodeSink*>(pipe->encoding_user_data);
    const std::size_t size = pipe->packed_bytes;
    if (!reserve(pipe->compressed_buffer, pipe->compressed_alloc_size, size))
        return EXR_ERR_OUT_OF_MEMORY;
    try {
        const std::size_t zipped =
            size > 1 ? zipBlock(static_cast<const std::uint8_t*>(pipe->packed_buffer), size,
                                sink.level, static_cast<std::uint8_t*>(pipe->compressed_buffer),
                                size - 1, sink.scratch)
                     : 0;
        // Not smaller: keepChunk stores the block as it is.
        pipe->compressed_bytes = zipped > 0 ? zipped : size;
    } catch (const std::bad_alloc&) {
        return EXR_ERR_OUT_OF_MEMORY;
    }
    return EXR_ERR_SUCCESS;
}

// Chunks are written in the file's order by one thread, not from the pipeline.
exr_result_t alwaysReady(exr_encode_pipeline_t*) {
    return EXR_ERR_SUCCESS;
}

// Keeps the chunk's bytes for the thread that writes chunks in the file's order.
exr_result_t keepChunk(exr_encode_pipeline_t* pipe) {
    auto& sink = *static_cast<EncodeSink*>(pipe->encoding_user_data);
    // A block deflate cannot shrink is stored as it is.
    const bool zipped = pipe->compressed_buffer && pipe->compressed_bytes > 0 &&
                        pipe->compressed_bytes < pipe->packed_bytes;
    const auto* bytes =
        static_cast<const std::uint8_t*>(zipped ? pipe->compressed_buffer : pipe->packed_buffer);
    try {
        sink.out->assign(bytes, bytes + (zipped ? pipe->compressed_bytes : pipe->packed_bytes));
    } catch (const std::bad_alloc&) {
        return EXR_ERR_OUT_OF_MEMORY;
    }
    return EXR_ERR_SUCCESS;
}

class Encoder {
  public:
    explicit Encoder(exr_const_context_t context, int level) : Context(context) {
        Sink.level = level;
    }
    ~Encoder() {
        if (Started)
            exr_encoding_destroy(Context, &Pipe);
    }
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;

    void encode(const exr_chunk_info_t& chunk, const Imf::FrameBuffer& buffer, int x, int y,
                std::vector<std::uint8_t>& out) {
        clearCoreMessage();
        check(Started ? exr_encoding_update(Context, 0, &chunk, &Pipe)
                      : exr_encoding_initialize(Context, 0, &chunk, &Pipe));
        Started = true;
        Pipe.alloc_fn = allocate;
        Pipe.free_fn = release;
        pointChannels(Pipe.channels, Pipe.channel_count, buffer, x, y, false);
        check(exr_encoding_choose_default_routines(Context, 0, &Pipe));
        Pipe.compress_fn = deflateChunk;
        Pipe.yield_until_ready_fn = alwaysReady;
        Pipe.write_fn = keepChunk;
        Sink.out = &out;
        Pipe.encoding_user_data = &Sink;
        check(exr_encoding_run(Context, 0, &Pipe));
    }

  private:
    exr_const_context_t Context;
    exr_encode_pipeline_t Pipe{}; // all zero, as OpenEXR's initializer makes it
    bool Started = false;
    EncodeSink Sink;
};

std::vector<char> headerBytes(const Imf::Header& header) {
    HeaderBytes bytes;
    { Imf::MultiPartOutputFile file(bytes, &header, 1, false, 1); }
    return bytes.bytes();
}

void defineParts(exr_context_t out, exr_const_context_t from, const std::vector<char>& bytes) {
    // The long-names flag of the version field.
    if (bytes.size() > 5 && (static_cast<unsigned char>(bytes[5]) & 0x04) != 0)
        check(exr_set_longname_support(out, 1));
    int parts = 0;
    check(exr_get_count(from, &parts));
    for (int part = 0; part < parts; ++part) {
        const char* name = nullptr;
        exr_storage_t storage{};
        // A file of one part need not name it.
        const exr_result_t named = exr_get_name(from, part, &name);
        if (named != EXR_ERR_NO_ATTR_BY_NAME)
            check(named);
        clearCoreMessage();
        check(exr_get_storage(from, part, &storage));
        int index = 0;
        check(exr_add_part(out, name, storage, &index));
        check(exr_copy_unset_attributes(out, index, from, part));
    }
}

int zipLevel(const Imf::Header& header) {
    const int level = header.zipCompressionLevel();
    return level >= 1 && level <= 9 ? level : 6;
}

} // namespace

void writeZipPart(ExrWriteStream& stream, const Imf::Header& header,
                  const Imf::FrameBuffer& buffer) {
    const std::vector<char> bytes = headerBytes(header);
    exr_context_initializer_t init = EXR_DEFAULT_CONTEXT_INITIALIZER;
    init.error_handler_fn = keepMessage;
    init.user_data = const_cast<std::vector<char>*>(&bytes);
    init.read_fn = readHeaderBytes;
    init.size_fn = sizeOfHeaderBytes;
    // Without it an attribute the core cannot parse ends the header there, silently.
    init.flags = EXR_CONTEXT_FLAG_STRICT_HEADER;
    CoreContext from;
    clearCoreMessage();
    check(exr_start_read(from.place(), "header", &init));

    exr_context_initializer_t writing = EXR_DEFAULT_CONTEXT_INITIALIZER;
    writing.error_handler_fn = keepMessage;
    writing.user_data = &stream;
    writing.write_fn = writeToStream;
    CoreContext out;
    check(exr_start_write(out.place(), "output", EXR_WRITE_FILE_DIRECTLY, &writing));
    defineParts(out, from, bytes);
    check(exr_write_header(out));

    const PartLayout layout = layoutOf(out, 0);
    // The chunks are read from `buffer`, which covers the header's data window: a core header
    // that saw another one would have them read outside it.
    const Imath::Box2i& window = header.dataWindow();
    if (layout.data.min.x != window.min.x || layout.data.min.y != window.min.y ||
        layout.data.max.x != window.max.x || layout.data.max.y != window.max.y)
        throw std::runtime_error(
            "OpenEXR's core library reads another data window from the header");
    exr_lineorder_t order{};
    check(exr_get_lineorder(out, 0, &order));
    const bool backwards = order == EXR_LINEORDER_DECREASING_Y;
    auto chunkIndex = [&](int place) { return backwards ? layout.chunks - 1 - place : place; };
    // Every chunk's description before any is written, for the encoders.
    std::vector<exr_chunk_info_t> chunks(static_cast<std::size_t>(layout.chunks));
    for (int index = 0; index < layout.chunks; ++index) {
        int x = 0, y = 0, tileX = 0, tileY = 0;
        layout.chunkAt(index, x, y, tileX, tileY);
        exr_chunk_info_t& chunk = chunks[static_cast<std::size_t>(index)];
        check(layout.tiled ? exr_write_tile_chunk_info(out, 0, tileX, tileY, 0, 0, &chunk)
                           : exr_write_scanline_chunk_info(out, 0, y, &chunk));
    }
    const int level = zipLevel(header);
    const int threads = std::max(1, minihost::threads());
    const int perBatch = std::max(1, std::min(4, layout.chunks / (threads * 4)));
    ChunkQueue queue(layout.chunks, perBatch);
    auto encode = [&, level](int first, std::vector<std::vector<std::uint8_t>>& encoded) {
        Encoder encoder(out, level);
        for (std::size_t k = 0; k < encoded.size(); ++k) {
            const int index = chunkIndex(first + static_cast<int>(k));
            int x = 0, y = 0, tileX = 0, tileY = 0;
            layout.chunkAt(index, x, y, tileX, tileY);
            encoder.encode(chunks[static_cast<std::size_t>(index)], buffer, x, y, encoded[k]);
        }
    };
    const int ahead = threads + 1;
    int started = 0;
    for (; started < std::min(ahead, queue.batches()); ++started)
        queue.start(started, encode);
    for (int b = 0; b < queue.batches(); ++b) {
        std::vector<std::vector<std::uint8_t>>& done = queue.wait(b);
        for (std::size_t k = 0; k < done.size(); ++k) {
            const int index = chunkIndex(b * perBatch + static_cast<int>(k));
            int x = 0, y = 0, tileX = 0, tileY = 0;
            layout.chunkAt(index, x, y, tileX, tileY);
            const std::vector<std::uint8_t>& chunk = done[k];
            check(layout.tiled
                      ? exr_write_tile_chunk(out, 0, tileX, tileY, 0, 0, chunk.data(), chunk.size())
                      : exr_write_scanline_chunk(out, 0, y, chunk.data(), chunk.size()));
            std::vector<std::uint8_t>().swap(done[k]);
        }
        if (started < queue.batches())
            queue.start(started++, encode);
    }
    check(out.finish());
}

} // namespace umbrix
