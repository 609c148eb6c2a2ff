#include "app/files/ExrHeaderSizes.h"

#include "app/Failure.h"
#include "app/Text.h"
#include "app/files/ExrHeaderValues.h"

#include <cstring>
#include <fmt/format.h>
#include <map>
#include <optional>
#include <unistd.h>

namespace umbrix {

namespace {

constexpr std::uint32_t Magic = 20000630;
constexpr std::uint32_t MultiPartFlag = 0x1000;
// Attribute and type names are at most 255 bytes long, and their ending zero.
constexpr std::size_t NameRoom = 256;

// Reads the header's words where they are, as an attribute's value is skipped, not read.
class HeaderReader {
  public:
    HeaderReader(int fd, std::uint64_t size) : Fd(fd), Size(size) {}

    std::uint64_t left() const { return Size - At; }
    std::uint64_t at() const { return At; }

    std::optional<std::uint32_t> word() {
        unsigned char bytes[4];
        if (!take(bytes, sizeof bytes))
            return std::nullopt;
        return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
               std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24;
    }

    // A name up to its zero; nullopt at the end of the file or when there is no zero in reach.
    std::optional<std::string> name() {
        char bytes[NameRoom];
        const ssize_t got = pread(Fd, bytes, sizeof bytes, static_cast<off_t>(At));
        if (got <= 0)
            return std::nullopt;
        const void* zero = std::memchr(bytes, '\0', static_cast<std::size_t>(got));
        if (!zero)
            return std::nullopt;
        const auto length = static_cast<std::size_t>(static_cast<const char*>(zero) - bytes);
        At += length + 1;
        return std::string(bytes, length);
    }

    void skip(std::uint64_t bytes) { At += bytes; }

    // The next `bytes` bytes; none where the file ends first.
    std::string value(std::uint64_t bytes) {
        std::string bytesRead(bytes, '\0');
        if (!take(bytesRead.data(), bytesRead.size()))
            bytesRead.clear();
        return bytesRead;
    }

    // Takes the zero that ends a list of headers, if it is next.
    bool endOfList() {
        char next = 1;
        if (pread(Fd, &next, 1, static_cast<off_t>(At)) != 1)
            return true;
        if (next == '\0')
            ++At;
        return next == '\0';
    }

  private:
    int Fd;
    std::uint64_t Size;
    std::uint64_t At = 0;

    bool take(void* into, std::size_t bytes) {
        if (left() < bytes ||
            pread(Fd, into, bytes, static_cast<off_t>(At)) != static_cast<ssize_t>(bytes))
            return false;
        At += bytes;
        return true;
    }
};

// Bytes of a value of the types OpenEXR reads by their type, whatever size the file declares: a
// declared size that differs would have it read the rest of the header out of step.
std::optional<std::uint64_t> fixedSize(const std::string& type) {
    static const std::map<std::string, std::uint64_t> sizes = {
        {"box2i", 16},      {"box2f", 16},   {"chromaticities", 32},
        {"compression", 1}, {"double", 8},   {"envmap", 1},
        {"float", 4},       {"int", 4},      {"keycode", 28},
        {"lineOrder", 1},   {"m33f", 36},    {"m33d", 72},
        {"m44f", 64},       {"m44d", 128},   {"rational", 8},
        {"tiledesc", 9},    {"timecode", 8}, {"v2i", 8},
        {"v2f", 8},         {"v2d", 16},     {"v3i", 12},
        {"v3f", 12},        {"v3d", 24},     {"deepImageState", 1}};
    const auto found = sizes.find(type);
    if (found == sizes.end())
        return std::nullopt;
    return found->second;
}

// OpenEXR reads a channel list up to its empty name, whatever size the file declares: the bytes
// it takes, the reader left where it began.
std::optional<std::uint64_t> channelListSize(HeaderReader& reader) {
    HeaderReader walk = reader;
    // A name and 16 bytes of type, linearity and sampling a channel.
    constexpr std::uint64_t ChannelFields = 16;
    while (true) {
        const std::optional<std::string> name = walk.name();
        if (!name)
            return std::nullopt;
        if (name->empty())
            return walk.at() - reader.at();
        if (walk.left() < ChannelFields)
            return std::nullopt;
        walk.skip(ChannelFields);
    }
}

// One header's attributes, up to the empty name that ends it, their values noted in `values`;
// false where the scan cannot go on.
bool checkAttributes(HeaderReader& reader, ExrHeaderValues& values, const std::string& path) {
    while (true) {
        const std::optional<std::string> name = reader.name();
        if (!name)
            return false;
        if (name->empty())
            return true;
        const std::optional<std::string> type = reader.name();
        const std::optional<std::uint32_t> declared = reader.word();
        if (!type || !declared)
            return false;
        // OpenEXR's core reader stops at such an attribute, and its headers differ from the C++
        // reader's from there on.
        if (type->empty())
            throw RunError(fmt::format("{}: cannot read: header attribute '{}' has no type", path,
                                       excerpt(*name)),
                           path);
        const auto bytes = static_cast<std::int32_t>(*declared);
        if (bytes < 0 || static_cast<std::uint64_t>(bytes) > reader.left())
            throw RunError(fmt::format("{}: cannot read: header attribute '{}' declares {} bytes, "
                                       "more than the {} left in the file",
                                       path, excerpt(*name), bytes, reader.left()),
                           path);
        std::optional<std::uint64_t> size = fixedSize(*type);
        if (*type == "chlist")
            size = channelListSize(reader);
        if (size && *size != static_cast<std::uint64_t>(bytes))
            throw RunError(fmt::format("{}: cannot read: header attribute '{}' of type {} declares "
                                       "{} bytes; a {} holds {}",
                                       path, excerpt(*name), excerpt(*type), bytes, excerpt(*type),
                                       *size),
                           path);
        if (!ExrHeaderValues::holds(*name) || !size) {
            reader.skip(static_cast<std::uint64_t>(bytes));
            continue;
        }
        const std::string value = reader.value(static_cast<std::uint64_t>(bytes));
        if (value.size() != static_cast<std::uint64_t>(bytes))
            return false;
        values.note(*name, *type, value, path);
    }
}

} // namespace

std::optional<std::uint64_t> checkExrHeaderSizes(int fd, std::uint64_t size,
                                                 const std::string& path) {
    HeaderReader reader(fd, size);
    const std::optional<std::uint32_t> magic = reader.word();
    const std::optional<std::uint32_t> version = reader.word();
    if (!magic || *magic != Magic || !version)
        return std::nullopt;
    // A file of several parts has a header per part, and one more empty name after the last.
    const bool parts = (*version & MultiPartFlag) != 0;
    std::uint64_t chunks = 0;
    do {
        ExrHeaderValues values;
        if (!checkAttributes(reader, values, path))
            return std::nullopt;
        values.check(reader.left(), chunks, path);
    } while (parts && !reader.endOfList());
    return reader.at();
}

} // namespace umbrix
