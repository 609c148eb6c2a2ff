#include "tests/support/TagItems.h"

#include <bit>
#include <cstring>
#include <fmt/format.h>

namespace testsupport {

namespace {

struct Describe {
    std::string operator()(std::int32_t value) const { return fmt::format("int {}", value); }
    std::string operator()(double value) const {
        return fmt::format("double {} ({:016x})", value, std::bit_cast<std::uint64_t>(value));
    }
    std::string operator()(const std::string& value) const {
        return fmt::format("string \"{}\"", value);
    }
    std::string operator()(const void* value) const { return fmt::format("pointer {}", value); }
    std::string operator()(const FuID& value) const {
        return fmt::format("FuID \"{}\"", value.c_str());
    }
};

bool sameValue(const TagItem& expected, const TagItem& actual) {
    if (expected.value.index() != actual.value.index())
        return false;
    if (const auto* number = std::get_if<double>(&expected.value))
        return std::bit_cast<std::uint64_t>(*number) ==
               std::bit_cast<std::uint64_t>(std::get<double>(actual.value));
    if (const auto* id = std::get_if<FuID>(&expected.value))
        return std::strcmp(id->c_str(), std::get<FuID>(actual.value).c_str()) == 0;
    if (const auto* pointer = std::get_if<const void*>(&expected.value);
        pointer && *pointer == anyPointer())
        return std::get<const void*>(actual.value) != nullptr;
    return expected.value == actual.value;
}

} // namespace

TagItem intTag(Tag tag, std::int32_t value) {
    return {tag, value};
}

TagItem doubleTag(Tag tag, double value) {
    return {tag, value};
}

TagItem stringTag(Tag tag, const char* value) {
    return {tag, std::string(value)};
}

TagItem pointerTag(Tag tag, const void* value) {
    return {tag, value};
}

TagItem idTag(Tag tag, const char* text) {
    return {tag, FuID(text, true)};
}

const void* anyPointer() {
    static const char marker = 0;
    return &marker;
}

std::string describe(const TagItem& item) {
    return fmt::format("0x{:08x} {}", item.tag, std::visit(Describe{}, item.value));
}

::testing::AssertionResult sameItems(const std::vector<TagItem>& expected,
                                     const std::vector<TagItem>& actual) {
    for (std::size_t k = 0; k < expected.size() || k < actual.size(); ++k) {
        if (k >= actual.size())
            return ::testing::AssertionFailure()
                   << "item " << k << " missing, expected " << describe(expected[k]);
        if (k >= expected.size())
            return ::testing::AssertionFailure()
                   << "item " << k << " unexpected: " << describe(actual[k]);
        if (expected[k].tag != actual[k].tag || !sameValue(expected[k], actual[k]))
            return ::testing::AssertionFailure()
                   << "item " << k << ": expected " << describe(expected[k]) << ", got "
                   << describe(actual[k]);
    }
    return ::testing::AssertionSuccess();
}

} // namespace testsupport
