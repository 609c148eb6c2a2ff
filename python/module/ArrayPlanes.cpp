#include "python/module/ArrayPlanes.h"

#include "app/images/ChannelMap.h"

#include <Imath/half.h>
#include <climits>
#include <cstdint>
#include <cstring>
#include <fmt/format.h>
#include <string>
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

template <typename Sample> float asFloat(const char* at) {
    Sample sample;
    std::memcpy(&sample, at, sizeof sample);
    if constexpr (std::is_same_v<Sample, std::uint16_t>)
        return static_cast<float>(Imath::half(Imath::half::FromBits, sample));
    else
        return static_cast<float>(sample);
}

template <typename Sample>
void fillTyped(const ArrayView& from, int component, minihost::ChannelLayout<float> to, int width,
               int height) {
    const char* base = from.data + component * from.stride[2];
    auto* target = reinterpret_cast<char*>(to.first);
    for (int y = 0; y < height; ++y) {
        const char* row = base + y * from.stride[0];
        char* out = target + y * to.rowStride;
        for (int x = 0; x < width; ++x)
            *reinterpret_cast<float*>(out + x * to.pixelStride) =
                asFloat<Sample>(row + x * from.stride[1]);
    }
}

void fill(const ArrayView& from, int component, Image& image, int number) {
    const minihost::ChannelLayout<float> to = minihost::layout(image, number);
    switch (from.type) {
    case 'e':
        return fillTyped<std::uint16_t>(from, component, to, image.Width, image.Height);
    case 'f':
        return fillTyped<float>(from, component, to, image.Width, image.Height);
    case 'd':
        return fillTyped<double>(from, component, to, image.Width, image.Height);
    default:
        return fillTyped<long double>(from, component, to, image.Width, image.Height);
    }
}

void releaseImage(void* image) {
    minihost::ImageDeleter()(static_cast<Image*>(image));
}

} // namespace

RenderArrays renderArrays(const py::array& depth, const std::optional<py::array>& normals,
                          const std::optional<py::array>& rgba) {
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
    std::vector<int> extra = {DepthChannel};
    if (arrays.normals)
        for (int k = 0; k < NormalComponents; ++k)
            extra.push_back(SuppliedNormalX + k);
    minihost::ImagePtr image = minihost::makeImage(arrays.width, arrays.height, extra);
    fill(arrays.depth, 0, *image, DepthChannel);
    for (int k = 0; arrays.normals && k < NormalComponents; ++k)
        fill(*arrays.normals, k, *image, SuppliedNormalX + k);
    for (int k = 0; arrays.rgba && k < ResultChannels; ++k)
        fill(*arrays.rgba, k, *image, k);
    return image;
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
