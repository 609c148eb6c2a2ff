#include "app/files/ImageFile.h"

#include "app/Failure.h"
#include "app/files/AtomicFile.h"
#include "app/files/ExrInput.h"
#include "app/files/ExrOutput.h"
#include "app/files/FormatsModule.h"
#include "app/images/HostImage.h"

#include <OpenEXR/ImfDoubleAttribute.h>
#include <OpenEXR/ImfFloatAttribute.h>
#include <OpenEXR/ImfIntAttribute.h>
#include <OpenEXR/ImfStringAttribute.h>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fmt/format.h>
#include <sys/stat.h>

namespace umbrix {

namespace {

void checkReadable(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        throw MissingInput(fmt::format("{}: cannot read: {}", path, std::strerror(errno)), path);
    if (S_ISDIR(info.st_mode))
        throw RunError(fmt::format("{}: cannot read: it is a folder", path), path);
    if (!S_ISREG(info.st_mode))
        throw RunError(fmt::format("{}: cannot read: not a regular file", path), path);
}

bool exrName(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".exr" || extension == ".sxr" || extension == ".mxr";
}

// The channels side by side per pixel as floats, for formats that take interleaved pixels.
std::vector<float> interleaved(const Frame& frame, const FrameResults& results,
                               const std::vector<OutputChannel>& written, const std::string& path) {
    const auto width = static_cast<std::size_t>(frame.windows.width);
    const auto height = static_cast<std::size_t>(frame.windows.height);
    const std::size_t count = written.size();
    std::vector<float> pixels(width * height * count);
    for (std::size_t c = 0; c < count; ++c) {
        const OutputChannel& channel = written[c];
        if (channel.xSampling != 1 || channel.ySampling != 1)
            throw UsageError(fmt::format("{}: channel '{}' is subsampled; write it to .exr", path,
                                         channel.name));
        const PlaneSlice slice =
            channel.carried >= 0
                ? carriedSlice(frame.carried[static_cast<std::size_t>(channel.carried)])
                : resultSlice(results, channel);
        for (std::size_t y = 0; y < height; ++y) {
            const char* from = slice.origin + y * slice.yStride;
            float* to = pixels.data() + y * width * count + c;
            for (std::size_t x = 0; x < width; ++x, from += slice.xStride, to += count)
                *to = sampleAsFloat(from, channel.stored);
        }
    }
    return pixels;
}

PlainPixels plainPixels(const Frame& frame, const OutputFormat& format,
                        const std::vector<OutputChannel>& written, const OutputOptions& options,
                        const std::vector<float>& samples) {
    PlainPixels pixels;
    pixels.windows = frame.windows;
    if (!format.origin) {
        pixels.windows.x = pixels.windows.y = pixels.windows.fullX = pixels.windows.fullY = 0;
        pixels.windows.fullWidth = pixels.windows.width;
        pixels.windows.fullHeight = pixels.windows.height;
    }
    pixels.half = !written.empty();
    for (const OutputChannel& channel : written) {
        pixels.channels.push_back(channel.name);
        pixels.half = pixels.half && channel.type == SampleType::Half;
    }
    pixels.data = samples.data();
    pixels.alphaIsData = true;
    if (options.compression)
        pixels.compression = options.compression->text;
    return pixels;
}

} // namespace

Frame openFile(const std::string& path, const FrameNaming& naming,
               const std::optional<std::string>& part) {
    checkReadable(path);
    if (looksLikeExr(path))
        return openExr(path, naming, part);
    if (part)
        throw UsageError(fmt::format("--part {}: {} is not an EXR file; only EXR files have parts",
                                     *part, path));
    if (!naming.views.empty())
        throw UsageError(fmt::format("--view {}: {} is not an EXR file; only EXR files have views",
                                     naming.views.front(), path));
    return frameOf(imageFormats().read(path), path, naming);
}

bool isLoaded(const Frame& frame) {
    return frame.image != nullptr;
}

void loadPixels(Frame& frame) {
    if (!isLoaded(frame))
        loadExr(frame);
}

OutputFormat outputFormat(const std::string& path) {
    if (exrName(path))
        return {true, true, true};
    return imageFormats().outputFormat(path);
}

std::vector<Attribute> storedAttributes(const Frame& frame, std::string_view prefix) {
    std::vector<Attribute> found;
    const ExrSource* source = exrSourceOf(frame);
    if (!source) {
        for (const Attribute& attribute : frame.metadata)
            if (attribute.name.starts_with(prefix))
                found.push_back(attribute);
        return found;
    }
    const Imf::Header& header = source->header(source->renderedPart());
    for (auto it = header.begin(); it != header.end(); ++it) {
        const std::string name = it.name();
        if (!name.starts_with(prefix))
            continue;
        const Imf::Attribute& value = it.attribute();
        if (const auto* text = dynamic_cast<const Imf::StringAttribute*>(&value))
            found.push_back({name, text->value()});
        else if (const auto* whole = dynamic_cast<const Imf::IntAttribute*>(&value))
            found.push_back({name, whole->value()});
        else if (const auto* single = dynamic_cast<const Imf::FloatAttribute*>(&value))
            found.push_back({name, single->value()});
        else if (const auto* number = dynamic_cast<const Imf::DoubleAttribute*>(&value))
            found.push_back({name, number->value()});
        else
            found.push_back({name, fmt::format("<{}>", value.typeName())});
    }
    return found;
}

std::vector<std::string> droppedChannels(const Frame& frame, const OutputFormat& format,
                                         const OutputOptions& options) {
    std::vector<std::string> dropped;
    if (format.exr || !options.picks.empty())
        return dropped;
    const std::vector<OutputChannel> all = frameOutputs(frame);
    const std::size_t kept = format.alpha ? ResultChannels : ResultChannels - 1;
    for (std::size_t k = kept; k < all.size(); ++k)
        dropped.push_back(all[k].name);
    return dropped;
}

void writeFrame(const std::string& path, const OutputFormat& format, const Frame& source,
                const FrameResults& results, const OutputOptions& options) {
    const std::vector<OutputChannel> written =
        outputChannels(source, options, !format.exr, format.alpha);
    if (options.clamp) {
        clampOcclusion(*results.image);
        for (Image* view : results.views)
            if (view)
                clampOcclusion(*view);
    }
    if (format.exr) {
        writeAtomically(path, [&](const std::string& target) {
            writeExr(target, path, source, results, written, options);
        });
        return;
    }
    const std::vector<float> samples = interleaved(source, results, written, path);
    const PlainPixels pixels = plainPixels(source, format, written, options, samples);
    writeAtomically(path,
                    [&](const std::string& target) { imageFormats().write(target, path, pixels); });
}

void clampOcclusion(Image& result) {
    const PlaneSlice slice = imageSlice(result, ResultOcclusion);
    for (int y = 0; y < result.Height; ++y) {
        char* row = slice.origin + static_cast<std::size_t>(y) * slice.yStride;
        for (int x = 0; x < result.Width; ++x) {
            float value = 0.0f;
            char* at = row + static_cast<std::size_t>(x) * slice.xStride;
            std::memcpy(&value, at, sizeof value);
            if (value < 0.0f || value > 1.0f) {
                value = value < 0.0f ? 0.0f : 1.0f;
                std::memcpy(at, &value, sizeof value);
            }
        }
    }
}

} // namespace umbrix
