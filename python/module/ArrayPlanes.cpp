#include "python/module/ArrayPlanes.h"

#include "contract/Controls.h"

#include <Imath/half.h>
#include <algorithm>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstring>
#include <fmt/format.h>
#include <iterator>
#include <latch>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

namespace umbrix::python {

namespace {

std::string shapeText(const py::array& array) {
    std::string text = "(";
    for (py::ssize_t k = 0; k < array.ndim(); ++k)
        text += fmt::format("{}{}", k ? ", " : "", array.shape(k));
    return text + (array.ndim() == 1 ? ",)" : ")");
}

ArrayView viewOf(const py::array& array, const char* name) {
    const py::dtype type = array.dtype();
    if (type.kind() != 'f')
        throw py::value_error(fmt::format("{}: dtype {} is not a float type (float16, float32, "
                                          "float64)",
                                          name, type.attr("name").cast<std::string>()));
    ArrayView view;
    view.data = static_cast<const char*>(array.data());
    view.type = type.char_();
    view.swapped = type.attr("byteorder").cast<std::string>() ==
                   (std::endian::native == std::endian::little ? ">" : "<");
    if (view.swapped && view.type == 'g')
        throw py::value_error(fmt::format("{}: a long double in the other byte order than this "
                                          "machine's; give it as float64",
                                          name));
    for (py::ssize_t k = 0; k < array.ndim(); ++k)
        view.stride[static_cast<std::size_t>(k)] = array.strides(k);
    return view;
}

ArrayView channelsArgument(const py::array& array, const char* name, int components,
                           const py::array& depth) {
    if (array.ndim() != 3 || array.shape(0) != depth.shape(0) || array.shape(1) != depth.shape(1) ||
        array.shape(2) != components)
        throw py::value_error(fmt::format("{}: shape {} does not fit depth's {}: expected ({}, "
                                          "{}, {})",
                                          name, shapeText(array), shapeText(depth), depth.shape(0),
                                          depth.shape(1), components));
    return viewOf(array, name);
}

template <typename Sample> float asFloat(const char* at, bool swapped) {
    Sample sample;
    if (swapped) {
        std::array<char, sizeof sample> bytes;
        std::reverse_copy(at, at + sizeof sample, bytes.begin());
        std::memcpy(&sample, bytes.data(), sizeof sample);
    } else {
        std::memcpy(&sample, at, sizeof sample);
    }
    if constexpr (std::is_same_v<Sample, std::uint16_t>)
        return static_cast<float>(Imath::half(Imath::half::FromBits, sample));
    else
        return static_cast<float>(sample);
}

// Rows [first, last) of an array, every component in one pass: the planes' channels of a pixel
// lie side by side, so a pass per component would read and write all of both once per component.
template <typename Sample>
void fillTyped(const ArrayView& from, Image& image, const std::vector<int>& numbers, int first,
               int last) {
    std::vector<minihost::ChannelLayout<float>> to;
    for (int number : numbers)
        to.push_back(minihost::layout(image, number));
    for (int y = first; y < last; ++y) {
        const char* row = from.data + y * from.stride[0];
        for (std::size_t k = 0; k < numbers.size(); ++k) {
            const char* in = row + static_cast<py::ssize_t>(k) * from.stride[2];
            char* out = reinterpret_cast<char*>(to[k].first) + y * to[k].rowStride;
            for (int x = 0; x < image.Width; ++x)
                *reinterpret_cast<float*>(out + x * to[k].pixelStride) =
                    asFloat<Sample>(in + x * from.stride[1], from.swapped);
        }
    }
}

// Whether the array's pixels are float32 side by side as the plane's, so that a row is one copy.
bool sideBySide(const ArrayView& from, const Image& image, const std::vector<int>& numbers) {
    const auto components = static_cast<py::ssize_t>(numbers.size());
    const minihost::ChannelLayout<const float> first = minihost::layout(image, numbers[0]);
    if (from.type != 'f' || from.swapped ||
        from.stride[2] != static_cast<py::ssize_t>(sizeof(float)) ||
        from.stride[1] != components * from.stride[2] || first.pixelStride != from.stride[1])
        return false;
    for (py::ssize_t k = 1; k < components; ++k)
        if (minihost::layout(image, numbers[static_cast<std::size_t>(k)]).first != first.first + k)
            return false;
    return true;
}

void copyRows(const ArrayView& from, Image& image, int number, int first, int last) {
    const minihost::ChannelLayout<float> to = minihost::layout(image, number);
    const auto bytes = static_cast<std::size_t>(image.Width * from.stride[1]);
    for (int y = first; y < last; ++y)
        std::memcpy(reinterpret_cast<char*>(to.first) + y * to.rowStride,
                    from.data + y * from.stride[0], bytes);
}

void fill(const ArrayView& from, Image& image, const std::vector<int>& numbers, int first,
          int last) {
    if (sideBySide(from, image, numbers))
        return copyRows(from, image, numbers[0], first, last);
    switch (from.type) {
    case 'e':
        return fillTyped<std::uint16_t>(from, image, numbers, first, last);
    case 'f':
        return fillTyped<float>(from, image, numbers, first, last);
    case 'd':
        return fillTyped<double>(from, image, numbers, first, last);
    default:
        return fillTyped<long double>(from, image, numbers, first, last);
    }
}

void clearRows(Image& image, int number, int first, int last) {
    const minihost::ChannelLayout<float> to = minihost::layout(image, number);
    for (int y = first; y < last; ++y)
        for (int x = 0; x < image.Width; ++x)
            *reinterpret_cast<float*>(reinterpret_cast<char*>(to.first) + y * to.rowStride +
                                      x * to.pixelStride) = 0.0f;
}

// An image kept from an earlier call holds that call's R G B A, which an image without them
// must not.
void fillRows(const RenderArrays& arrays, Image& image, bool reused, int first, int last) {
    fill(arrays.depth, image, {DepthChannel}, first, last);
    if (arrays.normals)
        fill(*arrays.normals, image, {SuppliedNormalX, SuppliedNormalX + 1, SuppliedNormalX + 2},
             first, last);
    if (arrays.rgba)
        fill(*arrays.rgba, image, {0, 1, 2, 3}, first, last);
    else if (reused)
        for (int k = 0; k < ResultChannels; ++k)
            clearRows(image, k, first, last);
}

// Blocks of rows on the host's worker pool, so that `threads` bounds this work as it bounds the
// render's.
void fillOnPool(const RenderArrays& arrays, Image& image, bool reused) {
    constexpr int BlockRows = 32;
    const int blocks = (image.Height + BlockRows - 1) / BlockRows;
    std::latch done(blocks);
    for (int block = 0; block < blocks; ++block) {
        const int first = block * BlockRows;
        const int last = std::min(image.Height, first + BlockRows);
        try {
            minihost::post([&arrays, &image, reused, &done, first, last] {
                fillRows(arrays, image, reused, first, last);
                done.count_down();
            });
        } catch (...) {
            // The blocks posted use this frame's locals: they end before the failure goes on.
            done.count_down(blocks - block);
            done.wait();
            throw;
        }
    }
    done.wait();
}

// Source images of earlier calls, for the next of the same size and channels: a new image's
// planes cost the system's zeroing of every page, about as much again as filling them.
constexpr std::size_t KeptImages = 2;
std::mutex IdleLock;
std::vector<minihost::ImagePtr> Idle;

std::size_t imageBytes(const Image& image) {
    return static_cast<std::size_t>(image.Width) * static_cast<std::size_t>(image.Height) *
           minihost::channels(image).size() * sizeof(float);
}

// With IdleLock held.
std::size_t keptBytes() {
    std::size_t bytes = 0;
    for (const minihost::ImagePtr& image : Idle)
        bytes += imageBytes(*image);
    return bytes;
}

void releaseImage(void* image) {
    minihost::ImageDeleter()(static_cast<Image*>(image));
}

} // namespace

RenderArrays renderArrays(const py::array& given, const std::optional<py::array>& normals,
                          const std::optional<py::array>& rgba) {
    // One channel, as image readers give it.
    const py::array depth = given.ndim() == 3 && given.shape(2) == 1
                                ? py::array(given[py::make_tuple(py::ellipsis(), 0)])
                                : given;
    if (depth.ndim() != 2 || depth.shape(0) == 0 || depth.shape(1) == 0)
        throw py::value_error(fmt::format("depth: shape {} is not (height, width) with both "
                                          "above 0",
                                          shapeText(depth)));
    if (depth.shape(0) > INT_MAX || depth.shape(1) > INT_MAX)
        throw py::value_error(
            fmt::format("depth: shape {} is larger than an image can be", shapeText(depth)));
    RenderArrays arrays;
    arrays.height = static_cast<int>(depth.shape(0));
    arrays.width = static_cast<int>(depth.shape(1));
    arrays.depth = viewOf(depth, "depth");
    if (normals)
        arrays.normals = channelsArgument(*normals, "normals", NormalComponents, depth);
    if (rgba)
        arrays.rgba = channelsArgument(*rgba, "rgba", ResultChannels, depth);
    return arrays;
}

minihost::ImagePtr sourceImage(const RenderArrays& arrays) {
    // The channels an EXR with these arrays' channels gives the tool, and no others.
    std::vector<int> stored = {0, 1, 2, 3, DepthChannel};
    if (arrays.normals)
        for (int k = 0; k < NormalComponents; ++k)
            stored.push_back(SuppliedNormalX + k);
    minihost::ImagePtr image;
    {
        const std::lock_guard guard(IdleLock);
        const auto fits =
            std::find_if(Idle.begin(), Idle.end(), [&](const minihost::ImagePtr& kept) {
                return kept->Width == arrays.width && kept->Height == arrays.height &&
                       minihost::channels(*kept) == stored;
            });
        if (fits != Idle.end()) {
            image = std::move(*fits);
            Idle.erase(fits);
        }
    }
    const bool reused = image != nullptr;
    if (!reused)
        image =
            minihost::makeImage(arrays.width, arrays.height,
                                std::vector<int>(stored.begin() + ResultChannels, stored.end()));
    fillOnPool(arrays, *image, reused);
    return image;
}

void keepSourceImage(minihost::ImagePtr image) {
    static const std::size_t Bound = [] {
        const long pages = sysconf(_SC_PHYS_PAGES);
        const long pageSize = sysconf(_SC_PAGESIZE);
        return pages > 0 && pageSize > 0
                   ? static_cast<std::size_t>(pages) * static_cast<std::size_t>(pageSize) / 16
                   : std::size_t{0};
    }();
    std::vector<minihost::ImagePtr> dropped;
    const std::lock_guard guard(IdleLock);
    Idle.push_back(std::move(image));
    std::size_t kept = 0;
    for (auto newest = Idle.rbegin(); newest != Idle.rend(); ++newest) {
        kept += imageBytes(**newest);
        if (kept > Bound || newest - Idle.rbegin() >= static_cast<std::ptrdiff_t>(KeptImages)) {
            std::move(Idle.begin(), newest.base(), std::back_inserter(dropped));
            Idle.erase(Idle.begin(), newest.base());
            break;
        }
    }
}

std::size_t releaseSourceImages() {
    std::vector<minihost::ImagePtr> dropped;
    const std::lock_guard guard(IdleLock);
    const std::size_t bytes = keptBytes();
    dropped.swap(Idle);
    return bytes;
}

std::size_t keptSourceBytes() {
    const std::lock_guard guard(IdleLock);
    return keptBytes();
}

py::array resultArray(minihost::ImagePtr image) {
    const int width = image->Width;
    const int height = image->Height;
    const minihost::ChannelLayout<float> first = minihost::layout(*image, 0);
    bool interleaved = true;
    for (int k = 1; k < ResultChannels; ++k)
        interleaved = interleaved && minihost::layout(*image, k).first == first.first + k &&
                      minihost::layout(*image, k).pixelStride == first.pixelStride;
    if (!interleaved) {
        py::array_t<float> copy({height, width, ResultChannels});
        auto out = copy.mutable_unchecked<3>();
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int k = 0; k < ResultChannels; ++k)
                    out(y, x, k) = minihost::sample(*image, x, y, k);
        return copy;
    }
    float* data = first.first;
    py::capsule owner(image.release(), releaseImage);
    return py::array_t<float>(
        {py::ssize_t{height}, py::ssize_t{width}, py::ssize_t{ResultChannels}},
        {py::ssize_t{first.rowStride}, py::ssize_t{first.pixelStride}, py::ssize_t{sizeof(float)}},
        data, owner);
}

} // namespace umbrix::python
