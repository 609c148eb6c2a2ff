#pragma once

namespace umbrix::process {

// The angle between two compared normals, in degrees as the occlusion test forms it from the cosine
// term k: acosf widened to double, times 180/pi, narrowed to float. NaN when k is NaN or |k| > 1.
// Declared for the tests that check, over every float, what angleThreshold rests on.
float angleDegrees(float k);

// The T for which "angleDegrees(k) > limit" equals "k >= -1 && k < T" for every float k.
//
// angleDegrees does not increase over [-1, 1] (checked over every float there), so the k in
// [-1, 1] whose angle exceeds the limit form a prefix of that range in float order; T is the first
// k past the prefix, -1 when it is empty (a NaN limit, or a limit of 180 or more) and the float
// after 1 when it is all of [-1, 1]. Outside [-1, 1] acosf is NaN and nothing subtracts, which the
// lower bound and T <= the float after 1 give. Found by binary search over the ordered float bit
// patterns, about 31 angles per call.
float angleThreshold(float limit);

} // namespace umbrix::process
