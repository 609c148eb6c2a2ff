#include "minihost/StoredImage.h"

#include "minihost/Host.h"
#include "minihost/Internal.h"

#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>

namespace minihost {

namespace {

// A read fills every channel the image stores and zeroes the others among the role channels.
// Higher channels the image does not store keep what the record held: the image has nothing for
// them and its write function ignores them, so clearing all 512 bytes on every read would only
// cost time.
bool readStored(FloatPixel* record, std::uint8_t* first, std::uint8_t* second, Image* image) {
    const auto& stored = *static_cast<StoredImage*>(image);
    std::memset(record->Value, 0, RoleChannels * sizeof(float));
    if (first)
        std::memcpy(record->Value, first, FirstPlaneChannels * sizeof(float));
    if (second) {
        const auto& extra = stored.extraChannels();
        const auto* values = reinterpret_cast<const float*>(second);
        for (std::size_t k = 0; k < extra.size(); ++k)
            record->Value[extra[k]] = values[k];
    }
    return true;
}

bool writeStored(FloatPixel* record, std::uint8_t* first, std::uint8_t* second, Image* image) {
    auto& stored = *static_cast<StoredImage*>(image);
    stored.noteWrite();
    if (first)
        std::memcpy(first, record->Value, FirstPlaneChannels * sizeof(float));
    if (second) {
        const auto& extra = stored.extraChannels();
        auto* values = reinterpret_cast<float*>(second);
        for (std::size_t k = 0; k < extra.size(); ++k)
            values[k] = record->Value[extra[k]];
    }
    return true;
}

std::size_t checkedFloats(int width, int height, std::size_t perPixel) {
    if (width < 0 || height < 0)
        throw std::invalid_argument("image size cannot be negative");
    const auto pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (perPixel != 0 &&
        pixels > std::numeric_limits<std::ptrdiff_t>::max() / sizeof(float) / perPixel)
        throw std::bad_alloc();
    return pixels * perPixel;
}

std::vector<std::uint8_t*> rowTable(float* plane, int width, int height, std::size_t perPixel) {
    std::vector<std::uint8_t*> rows(static_cast<std::size_t>(height > 0 ? height : 1));
    for (int y = 0; y < height; ++y)
        rows[static_cast<std::size_t>(y)] = reinterpret_cast<std::uint8_t*>(
            plane + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * perPixel);
    if (height <= 0)
        rows[0] = reinterpret_cast<std::uint8_t*>(plane);
    return rows;
}

} // namespace

StoredImage::StoredImage(int width, int height, const std::vector<int>& extra) : Extra(extra) {
    Slot.fill(-1);
    for (int channel = 0; channel < FirstPlaneChannels; ++channel) {
        Slot[static_cast<std::size_t>(channel)] = static_cast<std::int16_t>(channel);
        Channels.push_back(channel);
    }
    for (std::size_t k = 0; k < extra.size(); ++k) {
        const int channel = extra[k];
        if (channel < FirstPlaneChannels || channel >= FloatPixel::Channels)
            throw std::invalid_argument("channel " + std::to_string(channel) +
                                        " cannot be an extra channel (4 to 127)");
        if (Slot[static_cast<std::size_t>(channel)] != -1)
            throw std::invalid_argument("channel " + std::to_string(channel) + " given twice");
        Slot[static_cast<std::size_t>(channel)] = static_cast<std::int16_t>(FirstPlaneChannels + k);
        Channels.push_back(channel);
    }
    const std::size_t secondPerPixel = extra.size();
    FirstPlane = PlaneMemory(checkedFloats(width, height, FirstPlaneChannels));
    SecondPlane = PlaneMemory(checkedFloats(width, height, secondPerPixel));
    FirstRowTable = rowTable(FirstPlane.data(), width, height, FirstPlaneChannels);
    Width = width;
    Height = height;
    FirstRows = FirstRowTable.data();
    FirstStride = FirstPlaneChannels * sizeof(float);
    if (secondPerPixel > 0) {
        SecondRowTable = rowTable(SecondPlane.data(), width, height, secondPerPixel);
        SecondRows = SecondRowTable.data();
        SecondStride = static_cast<std::int32_t>(secondPerPixel * sizeof(float));
    }
    Read = readStored;
    Write = writeStored;
}

void ImageDeleter::operator()(Image* image) const {
    delete image;
}

ImagePtr makeImage(int width, int height, const std::vector<int>& extra) {
    return ImagePtr(new StoredImage(width, height, extra));
}

static const StoredImage& stored(const Image& image) {
    const auto* result = dynamic_cast<const StoredImage*>(&image);
    if (!result)
        throw std::invalid_argument("not an image of this host");
    return *result;
}

const std::vector<int>& channels(const Image& image) {
    return stored(image).channelList();
}

bool written(const Image& image) {
    return stored(image).written();
}

bool stores(const Image& image, int channel) {
    return channel >= 0 && channel < FloatPixel::Channels && stored(image).slotOf(channel) >= 0;
}

static const float* sampleAddress(const Image& image, int x, int y, int channel) {
    const int slot = stored(image).slotOf(channel);
    if (x < 0 || y < 0 || x >= image.Width || y >= image.Height || slot < 0)
        throw std::out_of_range("no sample at (" + std::to_string(x) + ", " + std::to_string(y) +
                                ") channel " + std::to_string(channel));
    const bool firstPlane = slot < FirstPlaneChannels;
    const std::uint8_t* row = firstPlane ? image.FirstRows[y] : image.SecondRows[y];
    const std::int32_t stride = firstPlane ? image.FirstStride : image.SecondStride;
    const auto* pixel = reinterpret_cast<const float*>(row + std::ptrdiff_t{x} * stride);
    return pixel + (firstPlane ? slot : slot - FirstPlaneChannels);
}

ChannelLayout<const float> layout(const Image& image, int channel) {
    const int slot = stored(image).slotOf(channel);
    if (slot < 0)
        throw std::out_of_range("no channel " + std::to_string(channel));
    const bool firstPlane = slot < 4;
    const std::int32_t stride = firstPlane ? image.FirstStride : image.SecondStride;
    const std::uint8_t* const* rows = firstPlane ? image.FirstRows : image.SecondRows;
    const auto* first = reinterpret_cast<const float*>(rows[0]) + (firstPlane ? slot : slot - 4);
    // Rows follow one another in one allocation.
    return {first, stride, std::ptrdiff_t{stride} * image.Width};
}

ChannelLayout<float> layout(Image& image, int channel) {
    const auto found = layout(static_cast<const Image&>(image), channel);
    return {const_cast<float*>(found.first), found.pixelStride, found.rowStride};
}

float& sample(Image& image, int x, int y, int channel) {
    return *const_cast<float*>(sampleAddress(image, x, y, channel));
}

float sample(const Image& image, int x, int y, int channel) {
    return *sampleAddress(image, x, y, channel);
}

} // namespace minihost

Image* NewImage(Tag tag, ...) {
    va_list args;
    va_start(args, tag);
    minihost::detail::VaListEnd end(args);
    const TagList tags = TagList::read(tag, args);
    const TagItem* like = tags.find(TAG_ImageLike);
    if (!like)
        return nullptr;
    const auto* source = dynamic_cast<const minihost::StoredImage*>(
        static_cast<const Image*>(std::get<const void*>(like->value)));
    if (!source)
        return nullptr;
    try {
        auto image = std::make_unique<minihost::StoredImage>(source->Width, source->Height,
                                                             source->extraChannels());
        return minihost::detail::adoptRenderImage(std::move(image));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
