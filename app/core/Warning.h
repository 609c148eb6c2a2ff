#pragma once

#include <string>
#include <vector>

namespace umbrix {

// Something a render is about to do that the user may not mean. The core returns these; each face
// shows them its own way (the command line prints `text` after "umbrix: ", once a run).
struct Warning {
    enum class Kind {
        ControlOutOfRange,    // a value outside the control's declared range
        BothPassesOff,        // UseNormals and UseSSAO off: the output is all zeros
        NormalsNaN,           // CamFOV or NormalsZControll that makes calculated normals NaN
        NoDepth,              // the frame has no depth channel
        NoSuppliedNormals,    // "Rendered Normals" compared, but the frame has none
        DepthPassedOver,      // two channels could be the depth
        DepthFromOnlyChannel, // a file's only channel, Y, taken as the depth
        DepthWithinUnit,      // planar depth whose every finite value lies in [0, 1]
        NormalPassedOver,     // two sets of channels could be the normal
        ViewWithoutDepth,     // a view of a multi-view file has no depth: it is carried
        LossyCompression,     // carried channels will not keep their bits
        DroppedChannels,      // the output format cannot hold every channel
        StoredValueLeftOut,   // a value of a file's stored look that is none for the tool
    };
    Kind kind;
    std::string text;
};

using Warnings = std::vector<Warning>;

} // namespace umbrix
