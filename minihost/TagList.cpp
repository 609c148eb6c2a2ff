#include "host/TagList.h"

#include <fmt/format.h>
#include <stdexcept>

namespace {

// A tag list longer than this has lost its end tag.
constexpr int MaxTags = 256;

TagItem readValue(Tag tag, va_list& args) {
    switch (kindOf(tag)) {
    case TagKind::Int:
        return {tag, static_cast<std::int32_t>(va_arg(args, int))};
    case TagKind::Double:
        return {tag, va_arg(args, double)};
    case TagKind::String: {
        const char* text = va_arg(args, const char*);
        if (!text)
            throw std::invalid_argument(fmt::format("tag 0x{:08x}: null string", tag));
        return {tag, std::string(text)};
    }
    case TagKind::Pointer:
        return {tag, static_cast<const void*>(va_arg(args, void*))};
    case TagKind::Identifier:
        return {tag, va_arg(args, FuID)};
    }
    throw std::invalid_argument(
        fmt::format("tag 0x{:08x} has a value of unknown kind 0x{:x}", tag, tag >> 28));
}

} // namespace

TagList TagList::read(Tag first, va_list args) {
    va_list copy;
    va_copy(copy, args);
    TagList list;
    try {
        for (Tag tag = first; tag != TAG_DONE; tag = va_arg(copy, Tag)) {
            if (list.Items.size() == MaxTags)
                throw std::invalid_argument(
                    fmt::format("tag list has no end tag within {} tags", MaxTags));
            list.Items.push_back(readValue(tag, copy));
        }
    } catch (...) {
        va_end(copy);
        throw;
    }
    va_end(copy);
    return list;
}

const TagItem* TagList::find(Tag tag) const {
    for (const auto& item : Items)
        if (item.tag == tag)
            return &item;
    return nullptr;
}
