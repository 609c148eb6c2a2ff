#pragma once

// What a program or a test needs of the stand-in host: loading a tool library, creating operators,
// setting their inputs, images, and rendering.

#include "host/FuID.h"
#include "host/Image.h"
#include "host/Input.h"
#include "host/Operator.h"
#include "host/Output.h"
#include "host/Registry.h"
#include "host/TagList.h"

#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace minihost {

// ---- Tool libraries -------------------------------------------------------------------------

// A loaded tool library: dlopen, then its entry point for process attach; detach and dlclose on
// destruction. Throws std::runtime_error when the file cannot be loaded or has no entry point.
class Plugin {
  public:
    explicit Plugin(const std::string& path);
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

  private:
    void* Handle = nullptr;
};

// The records in the host's class list, newest first.
std::vector<const Registry*> classes();
const Registry* findClass(std::string_view id);

// A pointer value among a registry record's tags; null when the tag holds none.
const void* registryPointer(const Registry& reg, Tag tag);

// ---- Operators ------------------------------------------------------------------------------

struct OperatorDeleter {
    void operator()(Operator* op) const;
};
using OperatorPtr = std::unique_ptr<Operator, OperatorDeleter>;

// Creates an operator through its record's factory. Null when the factory returns null.
OperatorPtr create(const Registry& reg);

// What the host recorded of an input or output when the operator created it.
struct ControlInfo {
    std::string name;        // displayed name
    std::string id;          // identifier
    std::string page;        // control page it was created under
    std::string dataType;    // "Number", "Image" or empty
    std::string controlKind; // "SliderControl", ... or empty
    std::optional<double> low, high, defaultValue;
    std::vector<std::string> comboEntries;
    TagList tags; // every tag, in the order given
    bool isOutput = false;
};

std::vector<std::string> pages(const Operator& op);
std::vector<Input*> inputs(const Operator& op);
std::vector<Output*> outputs(const Operator& op);
const ControlInfo& info(const Input& in);
const ControlInfo& info(const Output& out);
Input* findInput(const Operator& op, std::string_view id);
Output* findOutput(const Operator& op, std::string_view id);

// The value the input holds now (a number input's double; 0 for others).
double value(const Input& in);

// Sets a number input the way the user does: the operator's NotifyChanged is called with the new
// value, and the base operator keeps it. The value is not clamped to the control's range.
void setValue(Operator& op, Input& in, double value, double time = 0.0);

// Connects an image to an image input; the caller keeps the image alive while it is connected.
void connect(Input& in, Image* image);

// ---- Images ---------------------------------------------------------------------------------

// Channels 0-3, R G B A, which every image stores in its first plane.
inline constexpr int FirstPlaneChannels = 4;
// Channels 0-15, the ones tools address by role (normal, occlusion, depth, supplied normal).
inline constexpr int RoleChannels = 16;

struct ImageDeleter {
    void operator()(Image* image) const;
};
using ImagePtr = std::unique_ptr<Image, ImageDeleter>;

// An image storing R G B A (channels 0-3) in its first plane and `extra` channels (numbers 4-127,
// any order, no repeats) in its second plane, all 32-bit floats, zero-filled. Throws
// std::invalid_argument for bad channel numbers and std::bad_alloc when it cannot be allocated.
// Its read function fills every stored channel and zeroes the unstored ones among channels 0-15;
// unstored channels from 16 up keep what the record held. Its write function stores the stored
// channels only.
ImagePtr makeImage(int width, int height, const std::vector<int>& extra);

// Channel numbers the image stores: 0-3, then its extra channels in the order given.
const std::vector<int>& channels(const Image& image);
bool stores(const Image& image, int channel);
// Whether the image's write function has stored any pixel since the image was made.
bool written(const Image& image);
// Direct access to one stored sample; the channel must be stored.
float& sample(Image& image, int x, int y, int channel);
float sample(const Image& image, int x, int y, int channel);

// Where a stored channel's samples are, for code that fills or reads a whole plane: sample (x, y)
// at first + y * rowStride + x * pixelStride, strides in bytes. The channel must be stored.
template <typename Sample> struct ChannelLayout {
    Sample* first = nullptr;
    std::ptrdiff_t pixelStride = 0;
    std::ptrdiff_t rowStride = 0;
};
ChannelLayout<float> layout(Image& image, int channel);
ChannelLayout<const float> layout(const Image& image, int channel);

// ---- Rendering ------------------------------------------------------------------------------

// Worker threads DoMultiProcess uses; 0 means one per core.
void setThreads(int threads);
int threads();
// The cores this process may run on: the pool's size for 0.
int processorCount();

// While one lives, the DoMultiProcess runs this thread starts hand chunks to at most `workers` of
// the pool's (0: any), so that callers sharing a pool as large as their sum run side by side.
class RunWidth {
  public:
    explicit RunWidth(int workers);
    ~RunWidth();
    RunWidth(const RunWidth&) = delete;
    RunWidth& operator=(const RunWidth&) = delete;

  private:
    int Outer;
};

// Runs `job` on the same worker threads and returns at once: the host's own work, such as decoding
// and encoding files, shares the pool with the tools' chunks, so the pool's size bounds every
// thread that works. The job must not throw.
void post(std::function<void()> job);

// Called after every chunk of every DoMultiProcess run, from the worker thread that ran it.
void setChunkObserver(std::function<void()> observer);

struct RenderResult {
    bool ok = false;        // what the operator's Process returned
    bool abandoned = false; // stopped before every chunk ran: the images are incomplete
    std::vector<std::pair<Output*, std::unique_ptr<Parameter>>> outputs;

    // Takes the output image out of the result; null when the output holds no image.
    ImagePtr takeImage(const Output* out);
};

// Makes a request at `time` with the inputs' current values and calls the operator's Process.
// Once `stop` is requested, DoMultiProcess starts no more chunks (those running finish) and the
// result is abandoned, as a host abandons a render whose inputs changed.
RenderResult render(Operator& op, double time = 0.0, std::stop_token stop = {});

// ---- Operating-system stand-ins ---------------------------------------------------------------

// Receives what MessageBoxA shows; its result is MessageBoxA's. Without one, MessageBoxA prints
// the box to stderr and returns 1 (OK).
using MessageBoxHandler = std::function<int(const char* text, const char* caption, unsigned type)>;
void setMessageBoxHandler(MessageBoxHandler handler);

// How many times DisableThreadLibraryCalls was called, and the module it last received.
int disableThreadLibraryCallsCount();
void* lastDisabledModule();

// ---- Observation, for tests -----------------------------------------------------------------

// Receives one line per host event in the object life cycle: "FuID <text>", "ScriptInfo <name>",
// "~ScriptInfo <name>", "Registry <id>", "~Registry <id>".
void setLifecycleObserver(std::function<void(const std::string&)> observer);

// Makes the host's allocator fail the next `count` object allocations.
void failNextAllocations(int count);

// Makes the n-th next AddInput/AddOutput call throw std::runtime_error (1 = the next one).
void failControlCreation(int nth);

} // namespace minihost
