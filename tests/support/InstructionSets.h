#pragma once

#include "process/OcclusionWindow.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <hwy/highway.h>

namespace testsupport {

// Forces every instruction set the dispatch can pick on this machine in turn, calling
// check(target) with each; back to the machine's own choice afterwards, also when a check fails.
class EachInstructionSet {
  public:
    ~EachInstructionSet() { hwy::SetSupportedTargetsForTest(0); }

    template <class Check> void run(const Check& check) {
        for (const std::int64_t target : hwy::SupportedAndGeneratedTargets()) {
            hwy::SetSupportedTargetsForTest(target);
            SCOPED_TRACE(hwy::TargetName(target));
            ASSERT_STREQ(umbrix::process::windowInstructionSet(), hwy::TargetName(target));
            check(target);
        }
    }
};

} // namespace testsupport
