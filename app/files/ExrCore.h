#pragma once

#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/openexr.h>
#include <cstddef>
#include <string>

// What the zip chunk reader and writer share of OpenEXR's core library: its failures' words, a
// context, the pipelines' buffers and where a part's chunks lie.
namespace umbrix::exrcore {

// The core library reports a failure's words through a callback on the thread that failed; they
// are kept for that thread until messageFor() takes them or clearCoreMessage() drops them.
void keepMessage(exr_const_context_t, exr_result_t, const char* message);
void clearCoreMessage();

// The words for a failed call: the library's own when it gave some for this call.
std::string messageFor(exr_result_t result);

class CoreContext {
  public:
    CoreContext() = default;
    ~CoreContext() {
        if (Context)
            exr_finish(&Context);
    }
    CoreContext(const CoreContext&) = delete;
    CoreContext& operator=(const CoreContext&) = delete;

    exr_context_t* place() { return &Context; }
    operator exr_context_t() const { return Context; }
    // Writes what the context still holds (the offset tables) and closes it.
    exr_result_t finish() {
        clearCoreMessage();
        return exr_finish(&Context);
    }

  private:
    exr_context_t Context = nullptr;
};

void* allocate(exr_transcoding_pipeline_buffer_id_t, std::size_t size);
void release(exr_transcoding_pipeline_buffer_id_t, void* buffer);

// Grows a pipeline buffer, which the pipeline frees with release().
bool reserve(void*& buffer, std::size_t& allocated, std::size_t size);

// Points the pipeline's `count` channels at their samples in `buffer` from pixel (x, y) on. A
// channel `buffer` has no slice for is skipped when reading and a logic error when writing.
void pointChannels(exr_coding_channel_info_t* channels, int count, const Imf::FrameBuffer& buffer,
                   int x, int y, bool reading);

struct PartLayout {
    exr_attr_box2i_t data{};
    bool tiled = false;
    int linesPerChunk = 1;
    int tileWidth = 0, tileHeight = 0;
    int columns = 1; // tiles across
    int chunks = 0;

    // The chunk's first pixel, and for tiles its column and row.
    void chunkAt(int index, int& x, int& y, int& tileX, int& tileY) const {
        tileX = tiled ? index % columns : 0;
        tileY = tiled ? index / columns : 0;
        x = data.min.x + tileX * tileWidth;
        y = tiled ? data.min.y + tileY * tileHeight : data.min.y + index * linesPerChunk;
    }
};

PartLayout layoutOf(exr_const_context_t context, int part);

} // namespace umbrix::exrcore
