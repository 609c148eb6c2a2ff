#include "app/files/ExrChunks.h"

#include "app/Failure.h"
#include "app/files/CodecThreads.h"
#include "app/files/ExrStreams.h"
#include "app/files/ZipBlocks.h"
#include "minihost/Host.h"

#include <OpenEXR/ImfIO.h>
#include <OpenEXR/ImfMultiPartOutputFile.h>
#include <OpenEXR/openexr.h>
#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fmt/format.h>
#include <mutex>
#include <stdexcept>
#include <unistd.h>

namespace umbrix {

namespace {

// The core library reports a failure's words through a callback on the thread that failed.
thread_local std::string coreMessage;

void keepMessage(exr_const_context_t, exr_result_t, const char* message) {
    coreMessage = message ? message : "";
}

// The words for a failed call: the library's own when it gave some for this call.
std::string messageFor(exr_result_t result) {
    std::string message = coreMessage.empty() ? exr_get_default_error_message(result) : coreMessage;
    coreMessage.clear();
    return oneLine(message);
}

class CoreContext {
  public:
    CoreContext() = default;
    ~CoreContext() {
        if (Context)
            exr_finish(&Context);
    }
    CoreContext(const CoreContext&) = delete;
    CoreContext& operator=(const CoreContext&) = delete;

    exr_context_t* place() { return &Context; }
    operator exr_context_t() const { return Context; }
    // Writes what the context still holds (the offset tables) and closes it.
    exr_result_t finish() {
        coreMessage.clear();
        return exr_finish(&Context);
    }

  private:
    exr_context_t Context = nullptr;
};

void* allocate(exr_transcoding_pipeline_buffer_id_t, std::size_t size) {
    return std::malloc(size);
}

void release(exr_transcoding_pipeline_buffer_id_t, void* buffer) {
    std::free(buffer);
}

// Grows a pipeline buffer, which the pipeline frees with release().
bool reserve(void*& buffer, std::size_t& allocated, std::size_t size) {
    if (buffer && allocated >= size)
        return true;
    std::free(buffer);
    buffer = std::malloc(std::max<std::size_t>(size, 1));
    allocated = buffer ? size : 0;
    return buffer != nullptr;
}

int floorDivide(int value, int by) {
    return value / by - (value % by != 0 && (value < 0) != (by < 0) ? 1 : 0);
}

int sizeOf(Imf::PixelType type) {
    return type == Imf::HALF ? 2 : 4;
}

// The first sample at or after (x, y) of a channel sampled every xs-th column and ys-th row, in
// a slice laid out as OpenEXR's C++ API lays it out.
char* sampleAt(const Imf::Slice& slice, int x, int y) {
    const int column = floorDivide(x + slice.xSampling - 1, slice.xSampling);
    const int row = floorDivide(y + slice.ySampling - 1, slice.ySampling);
    return slice.base +
           static_cast<std::ptrdiff_t>(column) * static_cast<std::ptrdiff_t>(slice.xStride) +
           static_cast<std::ptrdiff_t>(row) * static_cast<std::ptrdiff_t>(slice.yStride);
}

void pointChannels(exr_coding_channel_info_t* channels, int count, const Imf::FrameBuffer& buffer,
                   int x, int y, bool reading) {
    for (int c = 0; c < count; ++c) {
        exr_coding_channel_info_t& channel = channels[c];
        const Imf::Slice* slice = buffer.findSlice(channel.channel_name);
        if (!slice) {
            if (!reading)
                throw std::logic_error(
                    fmt::format("no samples for channel {}", channel.channel_name));
            channel.decode_to_ptr = nullptr;
            continue;
        }
        channel.user_data_type = static_cast<uint16_t>(slice->type);
        channel.user_bytes_per_element = static_cast<int16_t>(sizeOf(slice->type));
        channel.user_pixel_stride = static_cast<int32_t>(slice->xStride);
        channel.user_line_stride = static_cast<int32_t>(slice->yStride);
        channel.decode_to_ptr = reinterpret_cast<std::uint8_t*>(sampleAt(*slice, x, y));
    }
}

// ---- Reading --------------------------------------------------------------------------------

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

struct PartLayout {
    exr_attr_box2i_t data{};
    bool tiled = false;
    int linesPerChunk = 1;
    int tileWidth = 0, tileHeight = 0;
    int columns = 1; // tiles across
    int chunks = 0;

    // The chunk's first pixel, and for tiles its column and row.
    void chunkAt(int index, int& x, int& y, int& tileX, int& tileY) const {
        tileX = tiled ? index % columns : 0;
        tileY = tiled ? index / columns : 0;
        x = data.min.x + tileX * tileWidth;
        y = tiled ? data.min.y + tileY * tileHeight : data.min.y + index * linesPerChunk;
    }
};

PartLayout layoutOf(exr_const_context_t context, int part) {
    PartLayout layout;
    exr_storage_t storage{};
    exr_get_storage(context, part, &storage);
    exr_get_data_window(context, part, &layout.data);
    layout.tiled = storage == EXR_STORAGE_TILED;
    if (layout.tiled) {
        uint32_t width = 0, height = 0;
        exr_tile_level_mode_t levels{};
        exr_tile_round_mode_t rounding{};
        int32_t levelWidth = 0, levelHeight = 0;
        if (exr_get_tile_descriptor(context, part, &width, &height, &levels, &rounding) != 0 ||
            exr_get_level_sizes(context, part, 0, 0, &levelWidth, &levelHeight) != 0 ||
            width == 0 || height == 0)
            throw std::runtime_error(messageFor(EXR_ERR_BAD_CHUNK_LEADER));
        layout.tileWidth = static_cast<int>(width);
        layout.tileHeight = static_cast<int>(height);
        const int across = static_cast<int>((int64_t{levelWidth} + width - 1) / width);
        const int down = static_cast<int>((int64_t{levelHeight} + height - 1) / height);
        layout.columns = across;
        layout.chunks = across * down;
    } else {
        exr_get_scanlines_per_chunk(context, part, &layout.linesPerChunk);
        const int64_t height = int64_t{layout.data.max.y} - layout.data.min.y + 1;
        layout.chunks =
            static_cast<int>((height + layout.linesPerChunk - 1) / layout.linesPerChunk);
    }
    return layout;
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
    exr_decode_pipeline_t Pipe = EXR_DECODE_PIPELINE_INITIALIZER;
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
        coreMessage.clear();
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
            throw RunError(
                fmt::format("{}: cannot read: {}: {}", path, where,
                            decoder.corrupt() ? "corrupt zip data" : messageFor(result)));
        }
    }
}

// ---- Writing --------------------------------------------------------------------------------

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
        coreMessage.clear();
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
    exr_encode_pipeline_t Pipe = EXR_ENCODE_PIPELINE_INITIALIZER;
    bool Started = false;
    EncodeSink Sink;
};

// Chunks encoded on the pool a batch at a time, a bounded number of batches ahead of the one
// being written, so that memory does not grow with the image.
class ChunkQueue {
  public:
    ChunkQueue(int chunks, int perBatch) : PerBatch(perBatch) {
        const int batches = (chunks + perBatch - 1) / perBatch;
        Batches.resize(static_cast<std::size_t>(batches));
        for (int b = 0; b < batches; ++b)
            Batches[static_cast<std::size_t>(b)].chunks.resize(
                static_cast<std::size_t>(std::min(perBatch, chunks - b * perBatch)));
    }
    ~ChunkQueue() {
        std::unique_lock guard(Lock);
        Changed.wait(guard, [&] { return Running == 0; });
    }
    ChunkQueue(const ChunkQueue&) = delete;
    ChunkQueue& operator=(const ChunkQueue&) = delete;

    int batches() const { return static_cast<int>(Batches.size()); }

    // Encodes batch `b` with encode(place in the file's order of its first chunk, the chunks'
    // bytes to fill).
    template <typename Encode> void start(int b, Encode encode) {
        {
            std::lock_guard guard(Lock);
            ++Running;
        }
        postToHostPool([this, b, encode] {
            Batch& batch = Batches[static_cast<std::size_t>(b)];
            std::exception_ptr error;
            try {
                encode(b * PerBatch, batch.chunks);
            } catch (...) {
                error = std::current_exception();
            }
            std::lock_guard guard(Lock);
            batch.error = error;
            batch.done = true;
            --Running;
            Changed.notify_all();
        });
    }

    // Waits for batch `b`; its chunks' bytes, which the caller may release.
    std::vector<std::vector<std::uint8_t>>& wait(int b) {
        Batch& batch = Batches[static_cast<std::size_t>(b)];
        std::unique_lock guard(Lock);
        Changed.wait(guard, [&] { return batch.done; });
        if (batch.error)
            std::rethrow_exception(batch.error);
        return batch.chunks;
    }

  private:
    struct Batch {
        std::vector<std::vector<std::uint8_t>> chunks;
        bool done = false;
        std::exception_ptr error;
    };
    int PerBatch;
    std::vector<Batch> Batches;
    std::mutex Lock;
    std::condition_variable Changed;
    int Running = 0;
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
        coreMessage.clear();
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

bool zipCompressed(Imf::Compression compression) {
    return compression == Imf::ZIP_COMPRESSION || compression == Imf::ZIPS_COMPRESSION;
}

void readZipPart(int fd, std::uint64_t size, const std::string& path, int part,
                 const Imf::FrameBuffer& buffer) {
    ReadSource source{fd, size};
    exr_context_initializer_t init = EXR_DEFAULT_CONTEXT_INITIALIZER;
    init.error_handler_fn = keepMessage;
    init.user_data = &source;
    init.read_fn = readAt;
    init.size_fn = sizeOfSource;
    // A damaged offset table is refused, not searched around.
    init.flags = EXR_CONTEXT_FLAG_DISABLE_CHUNK_RECONSTRUCTION;
    CoreContext context;
    coreMessage.clear();
    const exr_result_t opened = exr_start_read(context.place(), path.c_str(), &init);
    if (opened != EXR_ERR_SUCCESS)
        throw RunError(fmt::format("{}: cannot read: {}", path, messageFor(opened)));
    const PartLayout layout = layoutOf(context, part);
    // A few batches per thread keep every thread busy to the end, each with its buffers reused.
    const int batches = std::min(layout.chunks, std::max(1, minihost::threads()) * 4);
    runOnHostPool(batches, [&](int b) {
        const int first = static_cast<int>(int64_t{layout.chunks} * b / batches);
        const int end = static_cast<int>(int64_t{layout.chunks} * (b + 1) / batches);
        decodeChunks(context, part, layout, first, end, buffer, path);
    });
}

void writeZipPart(ExrWriteStream& stream, const Imf::Header& header,
                  const Imf::FrameBuffer& buffer) {
    const std::vector<char> bytes = headerBytes(header);
    exr_context_initializer_t init = EXR_DEFAULT_CONTEXT_INITIALIZER;
    init.error_handler_fn = keepMessage;
    init.user_data = const_cast<std::vector<char>*>(&bytes);
    init.read_fn = readHeaderBytes;
    init.size_fn = sizeOfHeaderBytes;
    CoreContext from;
    coreMessage.clear();
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
