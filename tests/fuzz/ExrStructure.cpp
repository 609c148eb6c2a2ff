#include "tests/fuzz/ExrStructure.h"

#include <cstring>

namespace exrstructure {

namespace {

class Cursor {
  public:
    Cursor(const std::uint8_t* data, std::size_t size) : Data(data), Size(size) {}

    std::size_t at() const { return At; }

    std::optional<std::string> name() {
        const void* zero = std::memchr(Data + At, '\0', Size - At);
        if (!zero)
            return std::nullopt;
        const auto length =
            static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - (Data + At));
        std::string text(reinterpret_cast<const char*>(Data + At), length);
        At += length + 1;
        return text;
    }

    std::optional<std::string> bytes(std::size_t count) {
        if (Size - At < count)
            return std::nullopt;
        std::string text(reinterpret_cast<const char*>(Data + At), count);
        At += count;
        return text;
    }

    std::optional<std::uint32_t> word() {
        const std::optional<std::string> four = bytes(4);
        if (!four)
            return std::nullopt;
        return static_cast<std::uint32_t>(int32At(*four, 0));
    }

    // Takes a zero byte if it is next.
    bool zero() {
        if (At < Size && Data[At] == 0) {
            ++At;
            return true;
        }
        return false;
    }

  private:
    const std::uint8_t* Data;
    std::size_t Size;
    std::size_t At = 0;
};

std::optional<Header> parseHeader(Cursor& cursor) {
    Header header;
    while (!cursor.zero()) {
        Attribute attribute;
        std::optional<std::string> name = cursor.name();
        std::optional<std::string> type = name ? cursor.name() : std::nullopt;
        const std::optional<std::uint32_t> size = type ? cursor.word() : std::nullopt;
        std::optional<std::string> value =
            size ? cursor.bytes(static_cast<std::size_t>(*size)) : std::nullopt;
        if (!value)
            return std::nullopt;
        header.attributes.push_back({std::move(*name), std::move(*type), std::move(*value)});
    }
    return header;
}

void putWord(std::string& bytes, std::uint32_t value) {
    for (int b = 0; b < 4; ++b)
        bytes.push_back(static_cast<char>(value >> (8 * b) & 0xff));
}

} // namespace

Attribute* Header::find(const std::string& name) {
    for (Attribute& attribute : attributes)
        if (attribute.name == name)
            return &attribute;
    return nullptr;
}

std::int32_t int32At(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t b = 4; b-- > 0;)
        value = value << 8 | static_cast<unsigned char>(bytes[at + b]);
    return static_cast<std::int32_t>(value);
}

void putInt32(std::string& bytes, std::size_t at, std::int32_t value) {
    for (std::size_t b = 0; b < 4; ++b)
        bytes[at + b] = static_cast<char>(static_cast<std::uint32_t>(value) >> (8 * b) & 0xff);
}

std::optional<File> parse(const std::uint8_t* data, std::size_t size) {
    Cursor cursor(data, size);
    File file;
    const std::optional<std::uint32_t> magic = cursor.word();
    const std::optional<std::uint32_t> version = magic ? cursor.word() : std::nullopt;
    if (!version)
        return std::nullopt;
    file.magic = *magic;
    file.version = *version;
    do {
        std::optional<Header> header = parseHeader(cursor);
        if (!header)
            return std::nullopt;
        file.headers.push_back(std::move(*header));
    } while (file.multipart() && !cursor.zero() && file.headers.size() < 64);
    file.headerEnd = cursor.at();
    file.rest.assign(reinterpret_cast<const char*>(data) + cursor.at(), size - cursor.at());
    return file;
}

std::string write(const File& file, bool shiftOffsets) {
    std::string bytes;
    putWord(bytes, file.magic);
    putWord(bytes, file.version);
    for (const Header& header : file.headers) {
        for (const Attribute& attribute : header.attributes) {
            bytes += attribute.name;
            bytes.push_back('\0');
            bytes += attribute.type;
            bytes.push_back('\0');
            putWord(bytes, static_cast<std::uint32_t>(attribute.value.size()));
            bytes += attribute.value;
        }
        bytes.push_back('\0');
    }
    if (file.multipart())
        bytes.push_back('\0');
    std::string rest = file.rest;
    if (shiftOffsets) {
        const std::uint64_t end = file.headerEnd + file.rest.size();
        const std::uint64_t shift = bytes.size() - file.headerEnd;
        for (std::size_t at = 0; at + 8 <= rest.size(); at += 8) {
            std::uint64_t offset = 0;
            for (std::size_t b = 8; b-- > 0;)
                offset = offset << 8 | static_cast<unsigned char>(rest[at + b]);
            if (offset < file.headerEnd || offset >= end)
                break;
            offset += shift;
            for (std::size_t b = 0; b < 8; ++b)
                rest[at + b] = static_cast<char>(offset >> (8 * b) & 0xff);
        }
    }
    return bytes + rest;
}

} // namespace exrstructure
