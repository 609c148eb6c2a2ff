#pragma once

#include "host/Api.h"
#include "host/FuID.h"

#include <cstdarg>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

// A tag's top four bits give the kind of the value that follows it in a tag list.
using Tag = std::uint32_t;

enum class TagKind : std::uint32_t {
    Int = 0x1,
    Double = 0x2,
    String = 0x3,
    Pointer = 0x6,
    Identifier = 0x8,
};

constexpr TagKind kindOf(Tag tag) {
    return static_cast<TagKind>(tag >> 28);
}

inline constexpr Tag TAG_DONE = 0;

struct TagItem {
    Tag tag = TAG_DONE;
    std::variant<std::int32_t, double, std::string, const void*, FuID> value;
};

// A parsed tag list. Strings are copied; pointers and identifiers are kept as given.
class HOST_API TagList {
  public:
    TagList() = default;
    // Reads (tag, value) pairs starting with `first` until the end tag. Throws
    // std::invalid_argument on a tag of unknown kind or when no end tag appears within a sane
    // number of pairs.
    static TagList read(Tag first, va_list args);

    const std::vector<TagItem>& items() const { return Items; }
    const TagItem* find(Tag tag) const;

  private:
    std::vector<TagItem> Items;
};
