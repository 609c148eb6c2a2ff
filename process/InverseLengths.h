#pragma once

#include <cstdint>

namespace umbrix::process {

// 1 / (L x L), L = (n0 * n0 + n1 * n1) + n2 * n2, for `count` normals: the term the occlusion
// test's cosine divides by, for every pixel of a row.
void inverseSquaredLengths(const float* n0, const float* n1, const float* n2, std::int32_t count,
                           float* inverse);

} // namespace umbrix::process
