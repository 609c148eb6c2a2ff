#include "app/files/ExrCore.h"

#include "app/Failure.h"
#include "app/files/ExrChunks.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fmt/format.h>
#include <limits>
#include <stdexcept>

namespace umbrix {

namespace exrcore {

namespace {

// A plain array, not a string: a thread-local with a destructor costs glibc an allocation on the
// thread's first use, and short of memory it aborts the process instead of failing the call.
constexpr std::size_t MessageBytes = 1024;
thread_local char coreMessage[MessageBytes];

} // namespace

void keepMessage(exr_const_context_t, exr_result_t, const char* message) {
    const std::size_t length = message ? std::min(std::strlen(message), MessageBytes - 1) : 0;
    std::memcpy(coreMessage, message ? message : "", length);
    coreMessage[length] = '\0';
}

void clearCoreMessage() {
    coreMessage[0] = '\0';
}

std::string messageFor(exr_result_t result) {
    std::string message = coreMessage[0] ? coreMessage : exr_get_default_error_message(result);
    clearCoreMessage();
    return oneLine(message);
}

void* allocate(exr_transcoding_pipeline_buffer_id_t, std::size_t size) {
    return std::malloc(size);
}

void release(exr_transcoding_pipeline_buffer_id_t, void* buffer) {
    std::free(buffer);
}

bool reserve(void*& buffer, std::size_t& allocated, std::size_t size) {
    if (buffer && allocated >= size)
        return true;
    std::free(buffer);
    buffer = std::malloc(std::max<std::size_t>(size, 1));
    allocated = buffer ? size : 0;
    return buffer != nullptr;
}

namespace {

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

} // namespace

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

PartLayout layoutOf(exr_const_context_t context, int part) {
    PartLayout layout;
    exr_storage_t storage{};
    // Each answer is checked: a header the C++ reader took may still be one the core refuses.
    if (const exr_result_t failed = exr_get_storage(context, part, &storage))
        throw std::runtime_error(messageFor(failed));
    if (const exr_result_t failed = exr_get_data_window(context, part, &layout.data))
        throw std::runtime_error(messageFor(failed));
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
        const int64_t across = (int64_t{levelWidth} + width - 1) / width;
        const int64_t down = (int64_t{levelHeight} + height - 1) / height;
        if (across <= 0 || down <= 0 || across * down > std::numeric_limits<int>::max())
            throw std::runtime_error(messageFor(EXR_ERR_BAD_CHUNK_LEADER));
        layout.columns = static_cast<int>(across);
        layout.chunks = static_cast<int>(across * down);
    } else {
        if (const exr_result_t failed =
                exr_get_scanlines_per_chunk(context, part, &layout.linesPerChunk))
            throw std::runtime_error(messageFor(failed));
        if (layout.linesPerChunk <= 0)
            throw std::runtime_error(messageFor(EXR_ERR_BAD_CHUNK_LEADER));
        const int64_t height = int64_t{layout.data.max.y} - layout.data.min.y + 1;
        if (height <= 0)
            throw std::runtime_error(messageFor(EXR_ERR_BAD_CHUNK_LEADER));
        layout.chunks =
            static_cast<int>((height + layout.linesPerChunk - 1) / layout.linesPerChunk);
    }
    return layout;
}

} // namespace exrcore

bool zipCompressed(Imf::Compression compression) {
    return compression == Imf::ZIP_COMPRESSION || compression == Imf::ZIPS_COMPRESSION;
}

} // namespace umbrix
