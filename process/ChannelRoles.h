#pragma once

// The channels of a pixel record that the passes read and write.
namespace channel {

// The calculated normal as the output holds it, z first, and the occlusion value.
inline constexpr int NormalZ = 0;
inline constexpr int NormalY = 1;
inline constexpr int NormalX = 2;
inline constexpr int Occlusion = 3;

inline constexpr int Depth = 4;

// The renderer's normal, compared in "Rendered Normals" mode.
inline constexpr int RenderedX = 10;
inline constexpr int RenderedY = 11;
inline constexpr int RenderedZ = 12;

} // namespace channel
