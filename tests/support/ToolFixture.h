#pragma once

#include "minihost/Host.h"
#include "tests/support/Bits.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace testsupport {

// Loads the tool library for one test and unloads it afterwards.
class ToolTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    minihost::OperatorPtr newTool();
    const Registry& toolClass();
    Input& input(Operator& op, const char* id);
    void set(Operator& op, const char* id, double value);
    // Renders `source` with `op`; null when Process returned false or handed over no image.
    minihost::ImagePtr render(Operator& op, Image& source, bool* ok = nullptr);

    std::unique_ptr<minihost::Plugin> Plugin;
    minihost::OperatorPtr Tool;
};

// Every stored sample of two images of the same layout equal to the bit.
::testing::AssertionResult sameBits(const Image& expected, const Image& actual);

} // namespace testsupport
