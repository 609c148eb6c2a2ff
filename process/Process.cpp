#include "contract/Controls.h"
#include "host/Number.h"
#include "host/PixelAccessor.h"
#include "process/ChunkControls.h"
#include "process/ChunkSettings.h"
#include "process/NormalsPass.h"
#include "process/OcclusionCapture.h"
#include "process/OcclusionPass.h"
#include "tool/Umbrix.h"

#include <new>

using namespace umbrix::process;

namespace {

double numberOf(Request* req, Input* in) {
    return static_cast<Number*>(req->GetInputData(in, 0))->Value;
}

float floatOf(Request* req, Input* in) {
    return static_cast<float>(numberOf(req, in));
}

} // namespace

// With the occlusion pass, the first run records what the occlusion windows read of every row's
// pre-occlusion content, taken from the source, and writes nothing; the second computes occlusion
// from that record only and writes each output pixel once, whole: the normal (or zeros) and the
// occlusion value over the source pixel. Without it, the first run writes the normals. Every pixel
// written is written once, by its own row's chunk, and no output pixel is read, so the result is
// the same whatever the row order and thread count.
bool Umbrix::Process(Request* req) {
    auto* source = static_cast<Image*>(InImage->GetSource(req->GetTime()));
    if (!source)
        return false;
    Image* result = NewImage(TAG_ImageLike, source, TAG_DONE);
    if (!result)
        return false;
    SourceImage = source;
    ResultImage = result;

    Passes.normals = umbrix::switchedOn(floatOf(req, InUseNormals));
    Passes.occlusion = umbrix::switchedOn(floatOf(req, InUseSSAO));
    Passes.occlusionStarted = false;
    Passes.capture = true;
    if (Passes.occlusion) {
        try {
            Samples.reset(SourceImage->Width, SourceImage->Height);
        } catch (const std::bad_alloc&) {
            return false;
        }
    }

    DoMultiProcess(req, SourceImage->Height);

    Passes.normals = false;
    Passes.capture = false;
    if (Passes.occlusionStarted)
        Passes.occlusion = false;

    DoMultiProcess(req, SourceImage->Height);

    return req->SetOutputData(OutImage, ResultImage);
}

void Umbrix::ProcessChunk(Request* req, long chunk) {
    const auto y = static_cast<std::int32_t>(chunk);
    PixelAccessor source(*SourceImage);
    PixelAccessor result(*ResultImage);

    ChunkControls controls;
    controls.radius = toRadius(numberOf(req, InMatrix));
    controls.smallDepth = floatOf(req, InSmallDepth);
    controls.amount = floatOf(req, InAmount);
    controls.depthThreshold = floatOf(req, InDepthThreshold);
    controls.normalsZ = floatOf(req, InNormalsZ);
    controls.normalsAngle = floatOf(req, InNormalsAngle);
    controls.useNormals = floatOf(req, InUseNormals);
    controls.filterMethod = floatOf(req, InFilterMethod);
    controls.camFOV = numberOf(req, InCamFOV);
    const ChunkSettings settings = chunkSettings(controls);

    const std::int32_t width = SourceImage->Width;
    const std::int32_t height = SourceImage->Height;
    if (Passes.capture) {
        if (width > 0 && Passes.occlusion)
            captureOcclusionRow(y, source, settings, width, Samples);
        else if (width > 0 && Passes.normals)
            normalsPass(y, source, result, settings, width, height);
        return;
    }
    if (Passes.occlusion) {
        Passes.occlusionStarted.store(true, std::memory_order_relaxed);
        if (width > 0)
            occlusionPass(y, source, result, settings, width, height, Samples);
    }
}
