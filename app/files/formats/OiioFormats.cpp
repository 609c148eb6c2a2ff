// The image formats other than EXR, through OpenImageIO.

#include "app/Failure.h"
#include "app/files/ImageFormats.h"
#include "app/files/formats/CheckedFile.h"

#include <OpenImageIO/imageio.h>
#include <algorithm>
#include <filesystem>
#include <fmt/format.h>
#include <new>

namespace umbrix {

namespace {

void checkSupported(const OIIO::ImageSpec& header, const std::string& path) {
    if (header.deep)
        throw RunError(fmt::format("{}: deep images are not supported", path), path);
    if (header.depth > 1)
        throw RunError(fmt::format("{}: volume images are not supported", path), path);
    if (header.nchannels <= 0)
        throw RunError(fmt::format("{}: the image has no channels", path), path);
}

Windows windowsOf(const OIIO::ImageSpec& header) {
    return {header.x,      header.y,      header.width,      header.height,
            header.full_x, header.full_y, header.full_width, header.full_height};
}

// Plain names only: prefixed ones ("tiff:", "oiio:") describe the format they came from.
std::vector<Attribute> metadataOf(const OIIO::ImageSpec& header) {
    std::vector<Attribute> metadata;
    for (const OIIO::ParamValue& item : header.extra_attribs) {
        const std::string name = item.name().string();
        if (name.find(':') != std::string::npos || item.nvalues() != 1)
            continue;
        if (item.type() == OIIO::TypeString)
            metadata.push_back({name, std::string(item.get_string())});
        else if (item.type() == OIIO::TypeInt)
            metadata.push_back({name, item.get_int()});
        else if (item.type() == OIIO::TypeFloat)
            metadata.push_back({name, item.get_float()});
    }
    return metadata;
}

std::unique_ptr<float[]> allocatePixels(const OIIO::ImageSpec& header, const std::string& path) {
    const auto width = static_cast<std::size_t>(std::max(header.width, 0));
    const auto height = static_cast<std::size_t>(std::max(header.height, 0));
    const auto channels = static_cast<std::size_t>(header.nchannels);
    try {
        return std::make_unique_for_overwrite<float[]>(width * height * channels);
    } catch (const std::bad_alloc&) {
        throw RunError(fmt::format("{}: image too large: out of memory for {}x{} with {} channels",
                                   path, width, height, channels),
                       path, std::nullopt, RunError::Cause::Memory);
    }
}

OIIO::ImageSpec headerOf(const PlainPixels& pixels) {
    const Windows& w = pixels.windows;
    OIIO::ImageSpec header(w.width, w.height, static_cast<int>(pixels.channels.size()),
                           pixels.bytes  ? OIIO::TypeDesc::UINT8
                           : pixels.half ? OIIO::TypeDesc::HALF
                                         : OIIO::TypeDesc::FLOAT);
    header.x = w.x;
    header.y = w.y;
    header.full_x = w.fullX;
    header.full_y = w.fullY;
    header.full_width = w.fullWidth;
    header.full_height = w.fullHeight;
    header.channelnames = pixels.channels;
    const auto alpha = std::find(pixels.channels.begin(), pixels.channels.end(), "A");
    header.alpha_channel =
        alpha == pixels.channels.end() ? -1 : static_cast<int>(alpha - pixels.channels.begin());
    if (pixels.alphaIsData)
        header.attribute("oiio:UnassociatedAlpha", 1);
    if (!pixels.compression.empty())
        header.attribute("compression", pixels.compression);
    return header;
}

// Whether OpenImageIO has a writer for the format the path's extension names.
bool writerExists(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    if (extension.empty())
        return false;
    extension = OIIO::Strutil::lower(extension.substr(1));
    const std::vector<std::string> writers =
        OIIO::Strutil::splits(OIIO::get_string_attribute("output_format_list"), ",");
    for (const auto& [format, extensions] : OIIO::get_extension_map())
        if (std::find(writers.begin(), writers.end(), format) != writers.end() &&
            std::find(extensions.begin(), extensions.end(), extension) != extensions.end())
            return true;
    return false;
}

class OiioFormats : public ImageFormats {
  public:
    OutputFormat outputFormat(const std::string& path) override {
        std::unique_ptr<OIIO::ImageOutput> out;
        try {
            out = OIIO::ImageOutput::create(path);
        } catch (const std::bad_alloc&) {
            throw RunError(fmt::format("{}: cannot write: out of memory", path), path, std::nullopt,
                           RunError::Cause::Memory);
        }
        if (!out) {
            const std::string cause = oneLine(OIIO::geterror());
            // A writer for the name's format is there, so its making failed otherwise: memory.
            if (writerExists(path))
                throw RunError(fmt::format("{}: cannot write: {}", path,
                                           cause.empty() ? "out of memory" : cause),
                               path, std::nullopt,
                               cause.empty() ? RunError::Cause::Memory : RunError::Cause::Other);
            throw UsageError(
                fmt::format("{}: no image format goes with this name; use .exr", path));
        }
        // Writing goes through a file of ours, which sees every error; formats that cannot are
        // refused.
        if (!out->supports("ioproxy"))
            throw UsageError(fmt::format("{}: {} files cannot be written here; use .exr, .tif or "
                                         ".png",
                                         path, out->format_name()));
        OutputFormat format;
        format.exr = std::string_view(out->format_name()) == "openexr";
        format.alpha = out->supports("alpha") != 0;
        format.origin = out->supports("origin") != 0 && out->supports("displaywindow") != 0;
        return format;
    }

    PlainImage read(const std::string& path) override {
        // Values as the file stores them: formats with unassociated alpha are not multiplied by
        // it.
        OIIO::ImageSpec config;
        config.attribute("oiio:UnassociatedAlpha", 1);
        auto in = OIIO::ImageInput::open(path, &config);
        if (!in)
            throw RunError(fmt::format("{}: cannot read: {}", path, oneLine(OIIO::geterror())),
                           path);
        const OIIO::ImageSpec& header = in->spec();
        checkSupported(header, path);
        PlainImage image{windowsOf(header), header.channelnames, allocatePixels(header, path),
                         metadataOf(header)};
        if (!in->read_image(0, 0, 0, header.nchannels, OIIO::TypeDesc::FLOAT, image.pixels.get()))
            throw RunError(fmt::format("{}: cannot read: {}", path, oneLine(in->geterror())), path);
        in->close();
        return image;
    }

    void write(const std::string& target, const std::string& shown,
               const PlainPixels& pixels) override {
        auto out = OIIO::ImageOutput::create(shown);
        if (!out)
            throw RunError(fmt::format("{}: cannot write: {}", shown, oneLine(OIIO::geterror())),
                           shown);
        CheckedFile file(target, shown);
        const OIIO::TypeDesc type = pixels.bytes ? OIIO::TypeDesc::UINT8 : OIIO::TypeDesc::FLOAT;
        const bool written = out->set_ioproxy(&file) && out->open(target, headerOf(pixels)) &&
                             out->write_image(type, pixels.data) && out->close();
        const std::string cause = written ? "" : oneLine(out->geterror());
        out->close();
        if (file.failed())
            throw RunError(fmt::format("{}: cannot write: {}", shown, file.failure()), shown);
        if (!written)
            throw RunError(fmt::format("{}: cannot write: {}", shown, cause), shown);
        file.finish();
    }
};

} // namespace

} // namespace umbrix

extern "C" __attribute__((visibility("default"))) umbrix::ImageFormats* umbrixImageFormats() {
    static umbrix::OiioFormats formats;
    return &formats;
}
