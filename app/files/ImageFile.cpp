#include "app/files/ImageFile.h"

#include "app/files/AtomicFile.h"
#include "app/files/ExrInput.h"
#include "app/files/ExrOutput.h"
#include "app/Failure.h"
#include "app/files/FormatsModule.h"
#include "app/sequence/FrameSequence.h"
#include "app/images/HostImage.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fmt/format.h>
#include <sys/stat.h>

namespace umbrix {

namespace {

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
    if (!S_ISREG(info.st_mode))
        throw RunError(fmt::format("{}: cannot read: not a regular file", path));
}

bool exrName(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".exr" || extension == ".sxr" || extension == ".mxr";
}

// The four results, R G B where the format has no alpha.
std::vector<int> resultChannels(const OutputFormat& format) {
    std::vector<int> numbers = {ResultNormalZ, ResultNormalY, ResultNormalX};
    if (format.alpha)
        numbers.push_back(ResultOcclusion);
    return numbers;
}

PlainPixels plainPixels(const Frame& frame, const OutputFormat& format,
                        const std::vector<float>& samples) {
    PlainPixels pixels;
    pixels.windows = frame.windows;
    if (!format.origin) {
        pixels.windows.x = pixels.windows.y = pixels.windows.fullX = pixels.windows.fullY = 0;
        pixels.windows.fullWidth = pixels.windows.width;
        pixels.windows.fullHeight = pixels.windows.height;
    }
    for (int number : resultChannels(format))
        pixels.channels.push_back(frame.map.names[static_cast<std::size_t>(number)]);
    pixels.data = samples.data();
    pixels.alphaIsData = true;
    return pixels;
}

} // namespace

Frame readFrame(const std::string& path, const std::vector<ChannelOverride>& overrides,
                const std::optional<std::string>& part) {
    checkReadable(path);
    if (looksLikeExr(path))
        return readExr(path, overrides, part);
    if (part)
        throw UsageError(fmt::format("--part {}: {} is not an EXR file; only EXR files have parts",
                                     *part, path));
    return frameOf(imageFormats().read(path), path, overrides);
}

OutputFormat outputFormat(const std::string& path) {
    if (exrName(path))
        return {true, true, true};
    return imageFormats().outputFormat(path);
}

std::vector<std::string> droppedChannels(const Frame& frame, const OutputFormat& format) {
    std::vector<std::string> dropped;
    if (format.exr)
        return dropped;
    if (!format.alpha)
        dropped.push_back(frame.map.names[ResultOcclusion]);
    for (const FrameChannel& channel : frame.channels)
        if (channel.number >= ResultChannels)
            dropped.push_back(channel.format.name);
    return dropped;
}

void writeFrame(const std::string& path, const OutputFormat& format, Frame& frame) {
    if (format.exr) {
        writeAtomically(path, [&](const std::string& target) { writeExr(target, path, frame); });
        return;
    }
    const std::vector<float> samples = gatherPixels(*frame.image, resultChannels(format));
    const PlainPixels pixels = plainPixels(frame, format, samples);
    writeAtomically(path,
                    [&](const std::string& target) { imageFormats().write(target, path, pixels); });
}

} // namespace umbrix
