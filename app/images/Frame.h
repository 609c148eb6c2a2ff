#pragma once

#include "app/images/ChannelMap.h"
#include "app/images/DepthConvention.h"
#include "app/images/PlainImage.h"
#include "minihost/Host.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace umbrix {

// How samples are stored: a file's channel types, and those further types of the arrays a caller
// hands over that no file holds.
enum class SampleType { Uint, Half, Float, Double, LongDouble };

// What the reader of a file keeps of it for the writer: only files/ knows what is inside, such as
// an EXR input's other parts and headers.
class SourceFile {
  public:
    virtual ~SourceFile() = default;
};

// One channel as the file stores it.
struct ChannelFormat {
    std::string name;
    SampleType type = SampleType::Float;
    int xSampling = 1;
    int ySampling = 1;
    bool perceptuallyLinear = false; // a hint EXR keeps for lossy codecs
};

// Samples of one channel in the file's own type, row after row over the data window (a
// subsampled channel holds one sample per xSampling x ySampling pixels).
struct CarriedPlane {
    std::unique_ptr<char[]> bytes;
    std::size_t xStride = 0; // bytes from one sample to the next
    std::size_t yStride = 0; // bytes from one row to the next
    std::size_t size = 0;    // bytes in all
};

// A file channel of a frame: its format, its channel number in the tool, and where its samples
// are. The tool's source image holds R G B A and the channels the tool reads (depth and the
// supplied normal) as 32-bit floats; every other channel stays outside it, in its own type, and
// is written from there. A channel the tool reads that the file stores as half or uint is also
// kept in its own type, so that its bits come back as they were.
struct FrameChannel {
    ChannelFormat format;
    int number = -1;
    int carried = -1; // index into Frame::carried, or -1
};

struct Frame;

// A view of a multi-view EXR input: of a part whose `multiView` attribute lists them (the first the
// default view), its own channels, and the map the tool would give them were they a file of their
// own; or a part of its own, as a file of one part per view (a `view` attribute on each) holds it.
struct FrameView {
    std::string name;
    bool isDefault = false;
    std::vector<std::size_t> channels; // indices into Frame::channels of the view's own channels
    ChannelMap map;                    // over every channel (a part of its own: over that part's)
    bool chosen = true;                // --view names it, or no --view was given
    bool rendered = false;             // chosen, and with a depth channel
    // A view in a part of its own other than the frame's: the part, and its frame, mapped when the
    // frame is opened and loaded with it when it is rendered apart. Null for the frame's own view.
    int part = -1;
    std::shared_ptr<Frame> frame;
};

// One image on its way through the program: read from a file, rendered by the tool, written.
struct Frame {
    std::string path; // where it came from, for messages
    Windows windows;
    ChannelMap map;
    std::vector<FrameChannel> channels; // the file's channels, in its order
    minihost::ImagePtr image;           // the tool's source; once rendered, the tool's result
    std::vector<CarriedPlane> carried;
    std::shared_ptr<SourceFile> source; // the input, as its reader keeps it for the writer
    std::vector<Attribute> metadata;    // an input of another format: what an EXR output keeps
    std::vector<std::string> parts;     // an EXR input's part names ("#N" for an unnamed part)
    std::optional<ScreenWindow> screen; // an EXR input's, when it describes a projection
    // A multi-view input's views, empty for a single view. The source image holds view `primary`
    // (the first rendered, and `map` is its map); every other rendered view is rendered apart.
    std::vector<FrameView> views;
    std::size_t primary = 0;
};

// Whether view `view` of the frame is rendered apart from its source image.
bool rendersApart(const Frame& frame, std::size_t view);
// Whether it is, from a part of its own.
bool rendersFromPart(const Frame& frame, std::size_t view);

// Whether the tool reads channel `number` of its source: R G B A, depth and the supplied normal.
bool toolReads(int number);

// How a file's channels are named for the tool: --map's overrides and the results' names.
struct FrameNaming {
    std::vector<ChannelOverride> overrides;
    ResultNames results = resultNames(std::nullopt);
    std::vector<std::string> views; // --view: the views of a multi-view file to render; all if none
};

// Maps a frame's channels, or gives them `map`. UsageError or RunError, naming the file, when it
// cannot.
void mapFrame(Frame& frame, const std::vector<ChannelFormat>& channels, const FrameNaming& naming,
              const std::optional<ChannelMap>& map = std::nullopt);
// The views of a multi-view part: each channel's view (an index into `views`, 0 the default) and
// its name within that view.
struct ViewLayout {
    std::vector<std::string> views;
    std::vector<std::size_t> viewOf;
    std::vector<std::string> local;
};
// Maps each view's channels as mapFrame maps a file's, and the frame as its first rendered view:
// the first chosen with a depth channel, else the first chosen. --map applies to the view whose
// channel it names. UsageError for a --view naming no view.
void mapViews(Frame& frame, const std::vector<ChannelFormat>& channels, const ViewLayout& layout,
              const FrameNaming& naming);
// One view of a file of one part per view: its name, its part and that part's frame, opened with
// its windows and channels.
struct PartView {
    std::string name;
    int part = -1;
    std::shared_ptr<Frame> frame;
    std::vector<ChannelFormat> channels;
};
// Maps each view's part as mapFrame maps a file's, and the frame (given its part's windows) as its
// first rendered view: the first chosen with a depth channel, else the first chosen. --map applies
// to the parts holding the channel it names. Returns the index into `views` of that first view.
// UsageError for a --view naming no view.
std::size_t mapPartViews(Frame& frame, std::vector<PartView> views, const FrameNaming& naming);
// A channel's name in view `view` from its name within the view: the view's name before its last
// component (`right.R`, `ssao.right.R`); the default view's unchanged.
std::string viewChannelName(const std::string& local, const std::string& view, bool isDefault);
// The source the tool renders view `view` of a loaded frame from: that view's R G B A, depth and
// normal from the frame's carried planes, nothing carried. RunError when memory runs out.
std::shared_ptr<Frame> viewSource(const Frame& frame, std::size_t view);

// Checks that a mapped frame fits in memory, and makes its source image and carried planes (not
// cleared). RunError, naming the file, when it cannot.
void allocateFrame(Frame& frame);

// Converts a loaded frame's depth to the planar depth the tool reads. The file's own samples are
// kept as a carried plane, so that the output's depth channel holds them bit for bit. Nothing for
// a frame without depth, or with Z.
void convertFrameDepth(Frame& frame, const DepthConvention& convention, const RayCamera& camera);

// A sample of the given type as a float, as the EXR reader converts it; `swapped`: its bytes are in
// the other order than this machine's.
float sampleAsFloat(const char* sample, SampleType type, bool swapped = false);
// `count` samples `fromStride` bytes apart as floats `toStride` bytes apart, each converted as
// sampleAsFloat converts it.
void samplesAsFloats(const char* from, std::ptrdiff_t fromStride, SampleType type, bool swapped,
                     char* to, std::ptrdiff_t toStride, std::size_t count);

// Fills the source image's channel from the carried samples of a half or uint channel.
void fillFromCarried(Frame& frame, const FrameChannel& channel);

// Where a channel's sample (x, y) of the data window is in the source image's planes, for the
// file readers: base address and strides in bytes.
struct PlaneSlice {
    char* origin = nullptr; // sample (0, 0) of the data window
    std::size_t xStride = 0;
    std::size_t yStride = 0;
};
PlaneSlice imageSlice(const Image& image, int number);
PlaneSlice carriedSlice(const CarriedPlane& plane);

// Copies channel `number` of `from` into the same channel of `to`, an image of the same size.
void copyChannel(const Image& from, Image& to, int number);

} // namespace umbrix
