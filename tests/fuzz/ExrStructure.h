#pragma once

// An EXR file as its header(s) lay it out, for a mutator that changes values, not bytes: parsed
// from any bytes (nullopt where they are not headers), written back to bytes.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace exrstructure {

struct Attribute {
    std::string name;
    std::string type;
    std::string value;
};

struct Header {
    std::vector<Attribute> attributes;
    Attribute* find(const std::string& name);
};

struct File {
    std::uint32_t magic = 0;
    std::uint32_t version = 0;
    std::vector<Header> headers;
    std::string rest;          // the offset tables and the chunks
    std::size_t headerEnd = 0; // where `rest` began in the bytes parsed

    bool multipart() const { return (version & 0x1000) != 0; }
};

std::optional<File> parse(const std::uint8_t* data, std::size_t size);

// The file's bytes. With `shiftOffsets`, the leading words of `rest` that pointed into the file
// parsed (offsets of chunks) are moved by as many bytes as the headers grew or shrank, so that
// they point at the same chunks.
std::string write(const File& file, bool shiftOffsets);

std::int32_t int32At(const std::string& bytes, std::size_t at);
void putInt32(std::string& bytes, std::size_t at, std::int32_t value);

} // namespace exrstructure
