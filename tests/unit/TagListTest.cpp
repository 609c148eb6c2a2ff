#include "host/TagList.h"

#include "tests/support/TagItems.h"

#include <bit>
#include <climits>
#include <cstdarg>
#include <gtest/gtest.h>
#include <stdexcept>
#include <utility>

using namespace testsupport;

namespace {

TagList readTags(Tag first, ...) {
    va_list args;
    va_start(args, first);
    try {
        TagList list = TagList::read(first, args);
        va_end(args);
        return list;
    } catch (...) {
        va_end(args);
        throw;
    }
}

// `pairs` (int tag, value) pairs, with or without the end tag after them.
template <std::size_t... K> TagList readIntPairs(std::index_sequence<K...>, bool ended) {
    // After the first tag the arguments alternate value, tag, value, ...
    if (ended)
        return readTags(0x10000000U, (K % 2 == 0 ? 7U : 0x10000000U)..., 0U);
    return readTags(0x10000000U, (K % 2 == 0 ? 7U : 0x10000000U)...);
}

template <std::size_t Pairs> TagList readIntPairs(bool ended) {
    return readIntPairs(std::make_index_sequence<2 * Pairs - 1>(), ended);
}

} // namespace

TEST(TagList, ReadsEveryKindExactly) {
    const double payloadNaN = std::bit_cast<double>(std::uint64_t{0x7ff800000000abcd});
    char text[] = "Rendered Normals";
    const int object = 0;
    const FuID number("Number", true);
    const TagList list = readTags(
        0x10000001U, -7, 0x1fffffffU, INT_MIN, 0x10000002U, INT_MAX, 0x20000000U, -0.0, 0x20030004U,
        0.025, 0x2fffffffU, payloadNaN, 0x20000001U, 5e-324, 0x38040000U, text, 0x30000000U, "",
        0x60000000U, static_cast<const void*>(&object), 0x6fffffffU,
        static_cast<const void*>(nullptr), 0x88020000U, number, 0x8fffffffU, FuID(), TAG_DONE);
    text[0] = 'X';
    EXPECT_TRUE(
        sameItems({intTag(0x10000001, -7), intTag(0x1fffffff, INT_MIN), intTag(0x10000002, INT_MAX),
                   doubleTag(0x20000000, -0.0), doubleTag(0x20030004, 0.025),
                   doubleTag(0x2fffffff, payloadNaN), doubleTag(0x20000001, 5e-324),
                   stringTag(0x38040000, "Rendered Normals"), stringTag(0x30000000, ""),
                   pointerTag(0x60000000, &object), pointerTag(0x6fffffff, nullptr),
                   idTag(0x88020000, "Number"), idTag(0x8fffffff, "")},
                  list.items()));
    // An identifier travels as itself, not as a copy of its text.
    EXPECT_EQ(std::get<FuID>(list.items()[11].value).c_str(), number.c_str());
}

TEST(TagList, EndTagFirstGivesAnEmptyList) {
    EXPECT_TRUE(readTags(TAG_DONE).items().empty());
}

TEST(TagList, RefusesATagOfUnknownKind) {
    for (Tag tag : {0x00000001U, 0x40000000U, 0x50000000U, 0x70000001U, 0x90000000U, 0xa0000000U,
                    0xb0000000U, 0xc0000000U, 0xd0000000U, 0xe0000000U, 0xf0000000U}) {
        SCOPED_TRACE(describe({tag, 0}));
        EXPECT_THROW(readTags(tag), std::invalid_argument);
        EXPECT_THROW(readTags(0x10000000U, 1, tag), std::invalid_argument);
    }
}

TEST(TagList, RefusesAListWithoutEndTag) {
    EXPECT_EQ(readIntPairs<200>(true).items().size(), 200U);
    EXPECT_THROW(readIntPairs<600>(false), std::invalid_argument);
}
