#include "app/ImageFile.h"

#include "app/AtomicFile.h"
#include "app/CheckedFile.h"
#include "app/Console.h"
#include "app/Failure.h"
#include "app/FrameSequence.h"
#include "app/MemoryBudget.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fmt/format.h>
#include <new>
#include <sys/stat.h>

namespace umbrix {

namespace {

// OpenImageIO's messages may span lines; ours are one line each.
std::string oneLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text.empty() ? "unknown error" : text;
}

void checkReadable(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        std::string text = fmt::format("{}: cannot read: {}", path, std::strerror(errno));
        if (hasFramePattern(path))
            text += " (render a sequence with --frames)";
        throw RunError(text);
    }
    if (S_ISDIR(info.st_mode))
        throw RunError(fmt::format("{}: cannot read: it is a folder", path));
}

void checkSupported(const OIIO::ImageSpec& header, const std::string& path) {
    if (header.deep)
        throw RunError(fmt::format("{}: deep images are not supported", path));
    if (header.depth > 1)
        throw RunError(fmt::format("{}: volume images are not supported", path));
    if (header.nchannels <= 0)
        throw RunError(fmt::format("{}: the image has no channels", path));
}

void warnOfOtherParts(OIIO::ImageInput& in, const std::string& path) {
    if (in.seek_subimage(1, 0))
        console::warning(fmt::format("{} has several parts; only the first is rendered", path));
    in.seek_subimage(0, 0);
}

std::unique_ptr<float[]> allocatePixels(const OIIO::ImageSpec& header, const std::string& path) {
    const auto width = static_cast<std::size_t>(std::max(header.width, 0));
    const auto height = static_cast<std::size_t>(std::max(header.height, 0));
    const auto channels = static_cast<std::size_t>(header.nchannels);
    checkFrameFits(width, height, channels, path);
    try {
        return std::make_unique_for_overwrite<float[]>(width * height * channels);
    } catch (const std::bad_alloc&) {
        throw RunError(fmt::format("{}: image too large: out of memory for {}x{} with {} channels",
                                   path, width, height, channels));
    }
}

} // namespace

FileImage readImageFile(const std::string& path) {
    checkReadable(path);
    // Values as the file stores them: formats with unassociated alpha are not multiplied by it.
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto in = OIIO::ImageInput::open(path, &config);
    if (!in)
        throw RunError(fmt::format("{}: cannot read: {}", path, oneLine(OIIO::geterror())));
    FileImage image{in->spec(), nullptr};
    checkSupported(image.header, path);
    warnOfOtherParts(*in, path);
    image.pixels = allocatePixels(image.header, path);
    if (!in->read_image(0, 0, 0, image.header.nchannels, OIIO::TypeDesc::FLOAT, image.pixels.get()))
        throw RunError(fmt::format("{}: cannot read: {}", path, oneLine(in->geterror())));
    in->close();
    return image;
}

OutputFormat outputFormat(const std::string& path) {
    auto out = OIIO::ImageOutput::create(path);
    if (!out) {
        OIIO::geterror();
        throw UsageError(fmt::format("{}: no image format goes with this name; use .exr", path));
    }
    // Writing goes through a file of ours, which sees every error; formats that cannot are refused.
    if (!out->supports("ioproxy"))
        throw UsageError(fmt::format("{}: {} files cannot be written here; use .exr, .tif or .png",
                                     path, out->format_name()));
    OutputFormat format;
    format.everyChannel = std::string_view(out->format_name()) == "openexr";
    format.alpha = out->supports("alpha") != 0;
    format.origin = out->supports("origin") != 0 && out->supports("displaywindow") != 0;
    return format;
}

void writeImageFile(const std::string& path, const OIIO::ImageSpec& header, OIIO::TypeDesc type,
                    const void* pixels) {
    auto out = OIIO::ImageOutput::create(path);
    if (!out)
        throw RunError(fmt::format("{}: cannot write: {}", path, oneLine(OIIO::geterror())));
    writeAtomically(path, [&](const std::string& target) {
        CheckedFile file(target, path);
        const bool written = out->set_ioproxy(&file) && out->open(target, header) &&
                             out->write_image(type, pixels) && out->close();
        const std::string cause = written ? "" : oneLine(out->geterror());
        out->close();
        if (file.failed())
            throw RunError(fmt::format("{}: cannot write: {}", path, file.failure()));
        if (!written)
            throw RunError(fmt::format("{}: cannot write: {}", path, cause));
        file.finish();
    });
}

} // namespace umbrix
