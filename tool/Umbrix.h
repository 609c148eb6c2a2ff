#pragma once

#include "host/Image.h"
#include "host/Input.h"
#include "host/Output.h"
#include "host/Parameter.h"
#include "host/Request.h"
#include "host/ScriptVal.h"
#include "host/TagList.h"
#include "host/ThreadedOperator.h"
#include "process/OcclusionSamples.h"
#include "process/PassSelection.h"

// Normals from depth and screen-space ambient occlusion.
class Umbrix : public ThreadedOperator {
  public:
    Umbrix(const Registry* reg, const ScriptVal& value, const TagList& tags);
    ~Umbrix() override;

    bool Process(Request* req) override;
    void NotifyChanged(Input* in, Parameter* param, double time, TagList* tags) override;
    void ProcessChunk(Request* req, long chunk) override;

  private:
    Input* InMatrix;
    Input* InAmount;
    Input* InSmallDepth;
    Input* InDepthThreshold;
    Input* InAbout;
    Input* InCamFOV;
    Input* InNormalsZ;
    Input* InNormalsAngle;
    Input* InFilterMethod;
    Input* InUseNormals;
    Input* InUseSSAO;
    Input* InImage;
    Output* OutImage;
    Image* SourceImage = nullptr;
    Image* ResultImage = nullptr;
    umbrix::process::PassSelection Passes;
    // Per-render working memory of the occlusion pass, kept between renders to avoid refaulting.
    umbrix::process::OcclusionSamples Samples;
};
