#include "python/module/ArrayPlanes.h"

#include "contract/Controls.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <fmt/format.h>
#include <iterator>
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

ArrayPlane planeOf(const py::array& array, const char* name) {
    const py::dtype type = array.dtype();
    if (type.kind() != 'f')
        throw py::value_error(fmt::format("{}: dtype {} is not a float type (float16, float32, "
                                          "float64)",
                                          name, type.attr("name").cast<std::string>()));
    ArrayPlane plane;
    plane.data = static_cast<const char*>(array.data());
    switch (type.char_()) {
    case 'e':
        plane.type = SampleType::Half;
        break;
    case 'd':
        plane.type = SampleType::Double;
        break;
    case 'g':
        plane.type = SampleType::LongDouble;
        break;
    default:
        plane.type = SampleType::Float;
    }
    plane.swapped = type.attr("byteorder").cast<std::string>() ==
                    (std::endian::native == std::endian::little ? ">" : "<");
    if (plane.swapped && plane.type == SampleType::LongDouble)
        throw py::value_error(fmt::format("{}: a long double in the other byte order than this "
                                          "machine's; give it as float64",
                                          name));
    // A (H, W) depth's component stride is never read.
    for (py::ssize_t k = 0; k < array.ndim(); ++k)
        plane.strides[static_cast<std::size_t>(k)] = array.strides(k);
    return plane;
}

ArrayPlane channelsArgument(const py::array& array, const char* name, int components,
                            const py::array& depth) {
    if (array.ndim() != 3 || array.shape(0) != depth.shape(0) || array.shape(1) != depth.shape(1) ||
        array.shape(2) != components)
        throw py::value_error(fmt::format("{}: shape {} does not fit depth's {}: expected ({}, "
                                          "{}, {})",
                                          name, shapeText(array), shapeText(depth), depth.shape(0),
                                          depth.shape(1), components));
    return planeOf(array, name);
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

ArrayFrame renderArrays(const py::array& given, const std::optional<py::array>& normals,
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
    ArrayFrame arrays;
    arrays.name = "render()";
    arrays.height = static_cast<int>(depth.shape(0));
    arrays.width = static_cast<int>(depth.shape(1));
    arrays.depth = planeOf(depth, "depth");
    if (normals)
        arrays.normal = channelsArgument(*normals, "normals", NormalComponents, depth);
    if (rgba)
        arrays.rgba = channelsArgument(*rgba, "rgba", ResultChannels, depth);
    return arrays;
}

std::shared_ptr<Frame> arraysFrame(const ArrayFrame& arrays) {
    return frameFromArrays(arrays, [](int width, int height, const std::vector<int>& channels) {
        const std::lock_guard guard(IdleLock);
        const auto fits =
            std::find_if(Idle.begin(), Idle.end(), [&](const minihost::ImagePtr& kept) {
                return kept->Width == width && kept->Height == height &&
                       minihost::channels(*kept) == channels;
            });
        if (fits == Idle.end())
            return minihost::ImagePtr();
        minihost::ImagePtr image = std::move(*fits);
        Idle.erase(fits);
        return image;
    });
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
