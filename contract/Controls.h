#pragma once

// What the tool's channels and controls mean, for the tool that acts on them and the program that
// checks and reports them. Header-only: the tool library and the program each compile it in.

#include <cmath>

namespace umbrix {

// Channel numbers with a role: the results (R G B A in a file: the calculated normal z first,
// then occlusion), depth, and the renderer's normal ("Rendered Normals"), x y z from
// SuppliedNormalX on.
inline constexpr int ResultNormalZ = 0;
inline constexpr int ResultNormalY = 1;
inline constexpr int ResultNormalX = 2;
inline constexpr int ResultOcclusion = 3;
inline constexpr int ResultChannels = 4;
inline constexpr int DepthChannel = 4;
inline constexpr int SuppliedNormalX = 10;
inline constexpr int SuppliedNormalY = 11;
inline constexpr int SuppliedNormalZ = 12;
inline constexpr int NormalComponents = 3;
// Channels without a role are numbered from here, up to ChannelCount - 1.
inline constexpr int FirstFreeChannel = 13;
inline constexpr int ChannelCount = 128;

// The identifiers the controls are saved and set under, misspellings included.
namespace control {
inline constexpr const char* UseNormals = "UseNormals";
inline constexpr const char* UseSSAO = "UseSSAO";
inline constexpr const char* FilterMethod = "FilterMethod";
inline constexpr const char* CamFOV = "CamFOV";
inline constexpr const char* NormalsZ = "NormalsZControll";
} // namespace control

// The tool reads every control as a float, a double "Matrix" and "CamFOV" aside. A switch
// ("UseNormals", "UseSSAO") turns its pass on unless it reads as zero.
constexpr bool switchedOn(float value) {
    return value != 0.0f;
}

// The normals the occlusion test compares.
enum class ComparedNormals {
    Rendered,   // the renderer's, SuppliedNormalX on
    Calculated, // the normals pass's, which the second run forms from the recorded depths
    Zeros,      // "Calculated Normals" with "UseNormals" off: the zeroed channels 0-2
    None,       // "disabled": every neighbour in the depth band counts
};

// "FilterMethod" compared as a float with 0 and 2; anything else behaves as 1, which compares
// channels 0-2 as the first run leaves them.
constexpr ComparedNormals comparedNormals(float filterMethod, bool useNormals) {
    if (filterMethod == 0.0f)
        return ComparedNormals::Rendered;
    if (filterMethod == 2.0f)
        return ComparedNormals::None;
    return useNormals ? ComparedNormals::Calculated : ComparedNormals::Zeros;
}

// sin("CamFOV" / 2) in floats, which spaces the pixels for the calculated normals: at zero or NaN
// every calculated normal is NaN.
inline float halfAngleSine(double camFOV) {
    return sinf(static_cast<float>(camFOV * 0.017453292519943295) * 0.5f);
}

} // namespace umbrix
