// libFuzzer's custom mutator and cross-over for the exr target. A byte's change mostly breaks an
// EXR's magic number, a header's terminators or its offset table, which the reader refuses early;
// these change a header's values by their type and keep the file well formed around them, so
// that the readers meet hostile values in well-formed headers. Byte mutation remains, part of the
// time, for everything else.

#include "tests/fuzz/ExrStructure.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <limits>
#include <random>

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

namespace {

using exrstructure::Attribute;
using exrstructure::File;
using exrstructure::Header;
using exrstructure::int32At;
using exrstructure::putInt32;

using Random = std::minstd_rand;

std::size_t below(Random& random, std::size_t count) {
    return count == 0 ? 0 : random() % count;
}

bool oneIn(Random& random, unsigned count) {
    return random() % count == 0;
}

// Edges of int and their neighbours, and near the value there was.
std::int32_t edgeOf(Random& random, std::int32_t was) {
    static constexpr std::int32_t edges[] = {
        0,       1,         -1,      2,           3,       7,           8,           15,
        16,      31,        32,      64,          255,     256,         4095,        4096,
        65535,   65536,     INT_MAX, INT_MAX - 1, INT_MIN, INT_MIN + 1, INT_MAX / 2, -(INT_MAX / 2),
        1 << 30, -(1 << 30)};
    switch (below(random, 3)) {
    case 0:
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(was) + 1);
    case 1:
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(was) - 1);
    default:
        return edges[below(random, std::size(edges))];
    }
}

float oddFloat(Random& random) {
    static constexpr float values[] = {std::numeric_limits<float>::quiet_NaN(),
                                       std::numeric_limits<float>::infinity(),
                                       -std::numeric_limits<float>::infinity(),
                                       0.0f,
                                       -0.0f,
                                       std::numeric_limits<float>::denorm_min(),
                                       std::numeric_limits<float>::max(),
                                       -1.0f,
                                       1e-7f,
                                       1.0f};
    return values[below(random, std::size(values))];
}

void mutateWords(std::string& value, Random& random) {
    if (value.size() < 4)
        return;
    const std::size_t at = below(random, value.size() / 4) * 4;
    putInt32(value, at, edgeOf(random, int32At(value, at)));
}

void mutateBox(std::string& value, Random& random) {
    if (value.size() != 16) {
        mutateWords(value, random);
        return;
    }
    const std::int32_t minX = int32At(value, 0);
    const std::int32_t maxX = int32At(value, 8);
    switch (below(random, 5)) {
    case 0: // inverted
        putInt32(value, 0, maxX);
        putInt32(value, 8, minX);
        break;
    case 1: // empty
        putInt32(value, 8, static_cast<std::int32_t>(static_cast<std::uint32_t>(minX) - 1));
        break;
    case 2: // huge
        putInt32(value, oneIn(random, 2) ? 8 : 12, oneIn(random, 2) ? INT_MAX : 1 << 30);
        if (oneIn(random, 2))
            putInt32(value, 4, oneIn(random, 2) ? INT_MIN : -(1 << 30));
        break;
    case 3: { // off by one
        const std::size_t at = below(random, 4) * 4;
        const auto was = static_cast<std::uint32_t>(int32At(value, at));
        putInt32(value, at, static_cast<std::int32_t>(oneIn(random, 2) ? was + 1 : was - 1));
        break;
    }
    default:
        mutateWords(value, random);
    }
}

void mutateFloats(std::string& value, Random& random) {
    if (value.size() < 4)
        return;
    putInt32(value, below(random, value.size() / 4) * 4,
             std::bit_cast<std::int32_t>(oddFloat(random)));
}

struct Channel {
    std::string name;
    std::string fields; // type, linearity, reserved, x and y sampling
};

std::vector<Channel> channelsOf(const std::string& value) {
    std::vector<Channel> channels;
    std::size_t at = 0;
    while (at < value.size() && value[at] != '\0') {
        const std::size_t end = value.find('\0', at);
        if (end == std::string::npos || value.size() - end - 1 < 16)
            break;
        channels.push_back({value.substr(at, end - at), value.substr(end + 1, 16)});
        at = end + 17;
    }
    return channels;
}

void mutateChannels(std::string& value, Random& random) {
    std::vector<Channel> channels = channelsOf(value);
    if (channels.empty())
        channels.push_back({"Z", std::string("\2\0\0\0\0\0\0\0\1\0\0\0\1\0\0\0", 16)});
    static const char* const names[] = {"R",   "G", "B",  "A",  "Z",  "N.X", "N.Y",
                                        "N.Z", "Y", "RY", "BY", "id", "",    "layer.Z"};
    Channel& channel = channels[below(random, channels.size())];
    switch (below(random, 7)) {
    case 0: // pixel type
        putInt32(channel.fields, 0,
                 oneIn(random, 2) ? static_cast<std::int32_t>(below(random, 4))
                                  : edgeOf(random, int32At(channel.fields, 0)));
        break;
    case 1: // linearity
        channel.fields[4] = static_cast<char>(channel.fields[4] ? 0 : 1 + below(random, 255));
        break;
    case 2: // sampling
    {
        static constexpr std::int32_t samplings[] = {0, 1, 2, 3, 4, -1, 16, INT_MAX, INT_MIN};
        putInt32(channel.fields, oneIn(random, 2) ? 8 : 12,
                 samplings[below(random, std::size(samplings))]);
        break;
    }
    case 3:
        channel.name = names[below(random, std::size(names))];
        break;
    case 4:
        channels.push_back(channel);
        break;
    case 5:
        channels.erase(channels.begin() + static_cast<std::ptrdiff_t>(&channel - channels.data()));
        break;
    default:
        std::shuffle(channels.begin(), channels.end(), random);
    }
    value.clear();
    for (const Channel& kept : channels) {
        value += kept.name;
        value.push_back('\0');
        value += kept.fields;
    }
    value.push_back('\0');
}

void mutateString(Attribute& attribute, Random& random) {
    static const char* const types[] = {"scanlineimage", "tiledimage", "deepscanline", "deeptile",
                                        "scanlinimage"};
    if (attribute.name == "type")
        attribute.value = types[below(random, std::size(types))];
    else if (oneIn(random, 2))
        attribute.value = attribute.value.substr(0, below(random, attribute.value.size() + 1));
    else
        attribute.value += attribute.value;
}

void mutateValue(Attribute& attribute, Random& random) {
    const std::string& type = attribute.type;
    std::string& value = attribute.value;
    if (type == "chlist")
        mutateChannels(value, random);
    else if (type == "box2i")
        mutateBox(value, random);
    else if (type == "int" || type == "v2i" || type == "v3i" || type == "keycode" ||
             type == "timecode" || type == "rational")
        mutateWords(value, random);
    else if (type == "float" || type == "v2f" || type == "v3f" || type == "box2f" ||
             type == "m33f" || type == "m44f" || type == "chromaticities")
        mutateFloats(value, random);
    else if (type == "compression" || type == "lineOrder" || type == "envmap" ||
             type == "deepImageState") {
        if (value.empty())
            value.push_back('\0');
        value[0] = static_cast<char>(oneIn(random, 2) ? below(random, 12) : random());
    } else if (type == "tiledesc" && value.size() == 9) {
        if (oneIn(random, 2))
            mutateWords(value, random);
        static constexpr unsigned char modes[] = {0, 1, 2, 3, 0x10, 0x11, 0x12, 0x20, 0xff};
        if (oneIn(random, 2))
            value[8] = static_cast<char>(modes[below(random, std::size(modes))]);
    } else if (type == "string")
        mutateString(attribute, random);
    else if (!value.empty())
        value[below(random, value.size())] = static_cast<char>(random());
}

// A change to the file's shape: parts, attributes, the version's flags.
void mutateShape(File& file, Random& random) {
    Header& header = file.headers[below(random, file.headers.size())];
    switch (below(random, 7)) {
    case 0:
        if (file.headers.size() < 8)
            file.headers.push_back(header);
        break;
    case 1:
        if (file.headers.size() > 1)
            file.headers.erase(file.headers.begin() +
                               static_cast<std::ptrdiff_t>(&header - file.headers.data()));
        break;
    case 2: {
        static constexpr std::uint32_t flags[] = {0x200, 0x400, 0x800, 0x1000};
        file.version ^= flags[below(random, std::size(flags))];
        break;
    }
    case 3:
        if (!header.attributes.empty())
            header.attributes.erase(
                header.attributes.begin() +
                static_cast<std::ptrdiff_t>(below(random, header.attributes.size())));
        break;
    case 4:
        if (!header.attributes.empty())
            header.attributes.push_back(header.attributes[below(random, header.attributes.size())]);
        break;
    case 5: {
        // One part's attribute in another, or a part's own added where a tiled part has it.
        const Header& other = file.headers[below(random, file.headers.size())];
        if (!other.attributes.empty())
            header.attributes.push_back(other.attributes[below(random, other.attributes.size())]);
        else
            header.attributes.push_back(
                {"tiles", "tiledesc", std::string("\x10\0\0\0\x10\0\0\0\0", 9)});
        break;
    }
    default:
        if (!header.find("chunkCount"))
            header.attributes.push_back({"chunkCount", "int", std::string("\1\0\0\0", 4)});
        else
            mutateWords(header.find("chunkCount")->value, random);
    }
}

// A chunk's leader (its y or tile coordinates, its size) where an offset says a chunk begins.
void mutateChunk(File& file, Random& random) {
    if (file.rest.size() < 16)
        return;
    const std::size_t word = below(random, std::min<std::size_t>(file.rest.size() / 8, 64));
    std::uint64_t offset = 0;
    for (std::size_t b = 8; b-- > 0;)
        offset = offset << 8 | static_cast<unsigned char>(file.rest[word * 8 + b]);
    if (oneIn(random, 3) || offset < file.headerEnd ||
        offset - file.headerEnd >= file.rest.size() - 8) {
        // The offset itself broken.
        putInt32(file.rest, word * 8, edgeOf(random, int32At(file.rest, word * 8)));
        return;
    }
    const std::size_t leader = static_cast<std::size_t>(offset - file.headerEnd);
    const std::size_t field =
        leader + 4 * below(random, std::min<std::size_t>((file.rest.size() - leader) / 4, 5));
    putInt32(file.rest, field, edgeOf(random, int32At(file.rest, field)));
}

std::size_t emit(const std::string& bytes, std::uint8_t* out, std::size_t maxSize) {
    const std::size_t size = std::min(bytes.size(), maxSize);
    std::memcpy(out, bytes.data(), size);
    return size;
}

} // namespace

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size,
                                               std::size_t maxSize, unsigned int seed) {
    Random random(seed);
    std::optional<File> file = exrstructure::parse(data, size);
    if (!file || file->headers.empty() || oneIn(random, 4))
        return LLVMFuzzerMutate(data, size, maxSize);
    bool shift = true;
    const int changes = 1 + static_cast<int>(below(random, 3));
    for (int change = 0; change < changes; ++change) {
        Header& header = file->headers[below(random, file->headers.size())];
        const std::size_t pick = below(random, 10);
        if (pick < 6 && !header.attributes.empty())
            mutateValue(header.attributes[below(random, header.attributes.size())], random);
        else if (pick < 8)
            mutateShape(*file, random);
        else if (pick < 9)
            mutateChunk(*file, random);
        else
            shift = false; // the offsets left where they were, pointing off the chunks
    }
    return emit(exrstructure::write(*file, shift), data, maxSize);
}

extern "C" std::size_t LLVMFuzzerCustomCrossOver(const std::uint8_t* data1, std::size_t size1,
                                                 const std::uint8_t* data2, std::size_t size2,
                                                 std::uint8_t* out, std::size_t maxOutSize,
                                                 unsigned int seed) {
    Random random(seed);
    std::optional<File> first = exrstructure::parse(data1, size1);
    const std::optional<File> second = exrstructure::parse(data2, size2);
    if (!first || !second || first->headers.empty() || second->headers.empty()) {
        // Halves of each.
        std::string bytes(reinterpret_cast<const char*>(data1), size1 / 2);
        bytes.append(reinterpret_cast<const char*>(data2) + size2 / 2, size2 - size2 / 2);
        return emit(bytes, out, maxOutSize);
    }
    Header& into = first->headers[below(random, first->headers.size())];
    const Header& from = second->headers[below(random, second->headers.size())];
    switch (below(random, 3)) {
    case 0: // the other file's part added
        first->headers.push_back(from);
        break;
    case 1: // an attribute of the other's, in place of the one of that name or added
        if (!from.attributes.empty()) {
            const Attribute& taken = from.attributes[below(random, from.attributes.size())];
            if (Attribute* same = into.find(taken.name))
                *same = taken;
            else
                into.attributes.push_back(taken);
        }
        break;
    default: // these headers over the other's chunks
        first->rest = second->rest;
    }
    return emit(exrstructure::write(*first, true), out, maxOutSize);
}
