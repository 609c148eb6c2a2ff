#pragma once

#include "host/TagList.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace testsupport {

// Expected tag items, written the way the tables of tags read.
TagItem intTag(Tag tag, std::int32_t value);
TagItem doubleTag(Tag tag, double value);
TagItem stringTag(Tag tag, const char* value);
TagItem pointerTag(Tag tag, const void* value);
TagItem idTag(Tag tag, const char* text);

// An expected pointer value that matches any non-null pointer, for values checked on their own.
const void* anyPointer();

std::string describe(const TagItem& item);

// Same tags in the same order with the same kinds and values: doubles to the bit, strings and
// identifiers by text, pointers by address.
::testing::AssertionResult sameItems(const std::vector<TagItem>& expected,
                                     const std::vector<TagItem>& actual);

} // namespace testsupport
