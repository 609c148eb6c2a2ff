#include "app/files/ExrInput.h"

#include "app/Failure.h"
#include "app/files/ExrChunks.h"
#include "app/files/ExrStreams.h"

#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfInputPart.h>
#include <OpenEXR/ImfMultiView.h>
#include <OpenEXR/ImfPartType.h>
#include <OpenEXR/ImfStandardAttributes.h>
#include <OpenEXR/ImfTiledInputPart.h>
#include <OpenEXR/ImfVersion.h>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <fmt/format.h>
#include <set>
#include <unistd.h>

namespace umbrix {

namespace {

std::string partName(const Imf::Header& header, int index) {
    return header.hasName() ? header.name() : fmt::format("#{}", index);
}

std::vector<ChannelFormat> channelsOf(const Imf::Header& header) {
    std::vector<ChannelFormat> channels;
    for (auto it = header.channels().begin(); it != header.channels().end(); ++it)
        channels.push_back({it.name(), sampleTypeOf(it.channel().type), it.channel().xSampling,
                            it.channel().ySampling, it.channel().pLinear});
    return channels;
}

bool holdsDepth(const Imf::Header& header, const std::vector<ChannelOverride>& overrides) {
    const Imf::ChannelList& channels = header.channels();
    for (const ChannelOverride& override : overrides)
        if (override.number == DepthChannel)
            return channels.findChannel(override.name) != nullptr;
    for (auto it = channels.begin(); it != channels.end(); ++it) {
        const bool overridden =
            std::any_of(overrides.begin(), overrides.end(),
                        [&](const ChannelOverride& o) { return o.name == it.name(); });
        if (!overridden && isDepthName(it.name()))
            return true;
    }
    return false;
}

int namedPart(ExrSource& source, const std::string& name, const std::string& path) {
    std::vector<std::string> names;
    for (int i = 0; i < source.parts(); ++i) {
        if (source.header(i).hasName() && source.header(i).name() == name)
            return i;
        names.push_back(partName(source.header(i), i));
    }
    if (source.parts() == 1 && !source.header(0).hasName())
        throw UsageError(fmt::format("--part {}: {} has one part, without a name", name, path));
    throw UsageError(fmt::format("--part {}: {} has no part of that name (it has {})", name, path,
                                 fmt::join(names, ", ")));
}

int partToRender(ExrSource& source, const std::vector<ChannelOverride>& overrides,
                 const std::optional<std::string>& part, const std::string& path) {
    if (part)
        return namedPart(source, *part, path);
    int firstImage = -1;
    for (int i = 0; i < source.parts(); ++i) {
        if (isDeepPart(source.header(i)))
            continue;
        if (firstImage < 0)
            firstImage = i;
        if (holdsDepth(source.header(i), overrides))
            return i;
    }
    return firstImage < 0 ? 0 : firstImage;
}

Windows windowsOf(const Imf::Header& header) {
    const Imath::Box2i& data = header.dataWindow();
    const Imath::Box2i& display = header.displayWindow();
    return {data.min.x,
            data.min.y,
            data.max.x - data.min.x + 1,
            data.max.y - data.min.y + 1,
            display.min.x,
            display.min.y,
            display.max.x - display.min.x + 1,
            display.max.y - display.min.y + 1};
}

// OpenEXR asks a program that knows no projection to write a screen window of width 1 centred
// on 0, so that one says nothing about the camera; nor does one no projection can have.
std::optional<ScreenWindow> screenOf(const Imf::Header& header) {
    const ScreenWindow screen{header.screenWindowWidth(), header.screenWindowCenter().x,
                              header.screenWindowCenter().y};
    const bool unset = screen.width == 1.0f && screen.centreX == 0.0f && screen.centreY == 0.0f;
    const bool possible = std::isfinite(screen.width) && screen.width > 0.0f &&
                          std::isfinite(screen.centreX) && std::isfinite(screen.centreY);
    if (unset || !possible)
        return std::nullopt;
    return screen;
}

std::vector<std::string> componentsOf(const std::string& name) {
    std::vector<std::string> components;
    std::size_t start = 0;
    for (std::size_t dot = name.find('.'); dot != std::string::npos; dot = name.find('.', start)) {
        components.push_back(name.substr(start, dot - start));
        start = dot + 1;
    }
    components.push_back(name.substr(start));
    return components;
}

std::string joined(const std::vector<std::string>& components) {
    std::string name;
    for (const std::string& component : components)
        name += (name.empty() ? "" : ".") + component;
    return name;
}

// A channel's view is OpenEXR's (layer.view.channel, or no dot for the default view); else the view
// its first component names, as `right.diffuse.R` and `right.N.X` are commonly written; else, as
// the unprefixed channels are, the default view's.
ViewLayout viewLayout(const Imf::StringVector& views, const std::vector<ChannelFormat>& channels) {
    ViewLayout layout{views, {}, {}};
    for (const ChannelFormat& channel : channels) {
        std::vector<std::string> components = componentsOf(channel.name);
        const std::string named = Imf::viewFromChannelName(channel.name, views);
        std::size_t at = components.size() - 1;
        if (!named.empty() && components.size() > 1)
            at = components.size() - 2;
        else if (named.empty() && components.size() > 1 &&
                 std::find(views.begin(), views.end(), components[0]) != views.end())
            at = 0;
        const std::string& view = at + 1 < components.size() ? components[at] : views[0];
        layout.viewOf.push_back(
            static_cast<std::size_t>(std::find(views.begin(), views.end(), view) - views.begin()));
        if (at + 1 < components.size())
            components.erase(components.begin() + static_cast<std::ptrdiff_t>(at));
        layout.local.push_back(joined(components));
    }
    return layout;
}

// Views listed once each, by name; a list of fewer than two is a single view.
std::optional<Imf::StringVector> viewsOf(const Imf::Header& header) {
    if (!Imf::hasMultiView(header))
        return std::nullopt;
    const Imf::StringVector& listed = Imf::multiView(header);
    const std::set<std::string> distinct(listed.begin(), listed.end());
    if (listed.size() < 2 || distinct.size() != listed.size() || distinct.count(""))
        return std::nullopt;
    return listed;
}

struct ViewPart {
    std::string name;
    int part = -1;
};

// A file of one part per view: each view its `view` attribute names, in the order of the parts,
// and the part it is rendered from: the first of that view that holds depth, else its first. None
// when fewer than two views are named.
std::vector<ViewPart> viewParts(ExrSource& source, const std::vector<ChannelOverride>& overrides) {
    std::vector<ViewPart> views;
    for (int i = 0; i < source.parts(); ++i) {
        const Imf::Header& header = source.header(i);
        if (isDeepPart(header) || !header.hasView() || header.view().empty())
            continue;
        const auto found = std::find_if(views.begin(), views.end(), [&](const ViewPart& view) {
            return view.name == header.view();
        });
        if (found == views.end())
            views.push_back({header.view(), i});
        else if (!holdsDepth(source.header(found->part), overrides) &&
                 holdsDepth(header, overrides))
            found->part = i;
    }
    if (views.size() < 2)
        views.clear();
    return views;
}

RunError noChannels(const std::string& path) {
    return RunError(fmt::format("{}: the image has no channels", path), path);
}

// Maps a file of one part per view; the frame is its first rendered view's part.
void openViewParts(Frame& frame, ExrSource& source, const std::vector<ViewPart>& views,
                   const FrameNaming& naming) {
    std::vector<PartView> parts;
    for (const ViewPart& view : views) {
        const Imf::Header& header = source.header(view.part);
        auto opened = std::make_shared<Frame>();
        opened->path = frame.path;
        opened->windows = windowsOf(header);
        opened->screen = screenOf(header);
        opened->source = frame.source;
        opened->parts = frame.parts;
        parts.push_back({view.name, view.part, std::move(opened), channelsOf(header)});
    }
    const int first = views[mapPartViews(frame, std::move(parts), naming)].part;
    source.setRenderedPart(first);
    if (frame.channels.empty())
        throw noChannels(frame.path);
}

Imf::FrameBuffer frameBufferOf(Frame& frame) {
    Imf::FrameBuffer buffer;
    const Imath::V2i origin(frame.windows.x, frame.windows.y);
    for (FrameChannel& channel : frame.channels) {
        const bool carried = channel.carried >= 0;
        const PlaneSlice slice =
            carried ? carriedSlice(frame.carried[static_cast<std::size_t>(channel.carried)])
                    : imageSlice(*frame.image, channel.number);
        const ChannelFormat& format = channel.format;
        buffer.insert(format.name,
                      Imf::Slice::Make(carried ? exrType(format.type) : Imf::FLOAT, slice.origin,
                                       origin, frame.windows.width, frame.windows.height,
                                       slice.xStride, slice.yStride, format.xSampling,
                                       format.ySampling));
    }
    return buffer;
}

void readPixels(ExrSource& source, int part, Frame& frame) {
    const Imf::FrameBuffer buffer = frameBufferOf(frame);
    if (zipCompressed(source.header(part).compression())) {
        readZipPart(source.stream().fd(), source.stream().size(), frame.path, part, buffer);
        return;
    }
    if (isTiledPart(source.header(part))) {
        Imf::TiledInputPart tiles(source.file(), part);
        tiles.setFrameBuffer(buffer);
        tiles.readTiles(0, tiles.numXTiles(0) - 1, 0, tiles.numYTiles(0) - 1, 0, 0);
    } else {
        Imf::InputPart lines(source.file(), part);
        lines.setFrameBuffer(buffer);
        const Imath::Box2i& data = source.header(part).dataWindow();
        lines.readPixels(data.min.y, data.max.y);
    }
}

} // namespace

ExrSource::ExrSource(const std::string& path, int threads)
    : Stream(std::make_unique<ExrReadStream>(path)),
      File(std::make_unique<Imf::MultiPartInputFile>(*Stream, threads)) {
    for (int part = 0; part < File->parts(); ++part)
        Headers.push_back(File->header(part));
}

std::uint64_t ExrSource::fileSize() const {
    return Stream->size();
}

void ExrSource::closeIfDone() {
    if (parts() > 1)
        return;
    File.reset();
    Stream.reset();
}

ExrSource::~ExrSource() = default;

ExrSource* exrSourceOf(const Frame& frame) {
    return dynamic_cast<ExrSource*>(frame.source.get());
}

bool looksLikeExr(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw RunError(fmt::format("{}: cannot read: {}", path, std::strerror(errno)), path);
    char magic[4] = {};
    const bool exr = pread(fd, magic, sizeof magic, 0) == sizeof magic && Imf::isImfMagic(magic);
    close(fd);
    return exr;
}

bool isDeepPart(const Imf::Header& header) {
    return header.hasType() && Imf::isDeepData(header.type());
}

bool isTiledPart(const Imf::Header& header) {
    return header.hasType() ? Imf::isTiled(header.type()) : header.hasTileDescription();
}

Frame openExr(const std::string& path, const FrameNaming& naming,
              const std::optional<std::string>& part) {
    Frame frame;
    frame.path = path;
    try {
        auto opened = std::make_shared<ExrSource>(path, minihost::threads());
        ExrSource& source = *opened;
        frame.source = std::move(opened);
        for (int i = 0; i < source.parts(); ++i)
            frame.parts.push_back(partName(source.header(i), i));
        if (!part) {
            const std::vector<ViewPart> views = viewParts(source, naming.overrides);
            if (!views.empty()) {
                openViewParts(frame, source, views, naming);
                return frame;
            }
        }
        const int rendered = partToRender(source, naming.overrides, part, path);
        source.setRenderedPart(rendered);
        const Imf::Header& header = source.header(rendered);
        if (isDeepPart(header))
            throw RunError(source.parts() > 1
                               ? fmt::format("{}: part {} holds deep data, which the tool cannot "
                                             "render",
                                             path, partName(header, rendered))
                               : fmt::format("{}: deep images are not supported", path),
                           path);
        const std::vector<ChannelFormat> channels = channelsOf(header);
        if (channels.empty())
            throw noChannels(path);
        frame.windows = windowsOf(header);
        frame.screen = screenOf(header);
        if (const auto views = viewsOf(header)) {
            mapViews(frame, channels, viewLayout(*views, channels), naming);
        } else {
            if (!naming.views.empty())
                throw UsageError(fmt::format("--view {}: {} has one view{}", naming.views.front(),
                                             path,
                                             part ? fmt::format(" in part {}", *part)
                                                  : std::string(" (no multiView attribute, nor "
                                                                "parts of several views)")));
            mapFrame(frame, channels, naming);
        }
    } catch (...) {
        rethrowNaming(path, "cannot read");
    }
    return frame;
}

void loadExr(Frame& frame) {
    try {
        allocateFrame(frame);
        ExrSource& source = *exrSourceOf(frame);
        readPixels(source, source.renderedPart(), frame);
        for (std::size_t v = 0; v < frame.views.size(); ++v)
            if (rendersFromPart(frame, v)) {
                Frame& view = *frame.views[v].frame;
                allocateFrame(view);
                readPixels(source, frame.views[v].part, view);
                for (const FrameChannel& channel : view.channels)
                    if (channel.carried >= 0 && toolReads(channel.number))
                        fillFromCarried(view, channel);
            }
        source.closeIfDone();
    } catch (...) {
        rethrowNaming(frame.path, "cannot read");
    }
    for (const FrameChannel& channel : frame.channels)
        if (channel.carried >= 0 && toolReads(channel.number))
            fillFromCarried(frame, channel);
}

} // namespace umbrix
