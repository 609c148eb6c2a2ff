// How the program's stream feeds OpenEXR: in-process, counting the reads it makes of the file.

#include "app/Failure.h"
#include "app/files/ExrChunks.h"
#include "app/files/ExrStreams.h"
#include "tests/app/ExrFiles.h"
#include "tests/app/ProgramTest.h"

#include <OpenEXR/Iex.h>
#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfMultiPartInputFile.h>
#include <OpenEXR/ImfOutputFile.h>
#include <OpenEXR/ImfStringAttribute.h>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <unistd.h>
#include <vector>

namespace apptest {
namespace {

// The read calls this process has made, as the kernel counts them.
long readCalls() {
    std::ifstream io("/proc/self/io");
    std::string name;
    long value = 0;
    while (io >> name >> value)
        if (name == "syscr:")
            return value;
    return -1;
}

// OpenEXR reads a string attribute a byte at a time, and render manifests in headers run to
// megabytes: each byte once cost a read of the file.
TEST(ExrReading, LongStringAttributesTakeFewReads) {
    const ScratchFolder folder;
    const std::string path = folder.path("manifest.exr");
    constexpr std::size_t Length = std::size_t{4} << 20;
    {
        Imf::Header header(4, 2);
        header.channels().insert("Z", Imf::Channel(Imf::FLOAT));
        header.insert("manifest", Imf::StringAttribute(std::string(Length, 'm')));
        Imf::OutputFile file(path.c_str(), header);
        Imf::FrameBuffer nothing;
        file.setFrameBuffer(nothing);
        file.writePixels(2);
    }
    ASSERT_GE(readCalls(), 0) << "no read count in /proc/self/io";
    const long before = readCalls();
    umbrix::ExrReadStream stream(path);
    const Imf::MultiPartInputFile file(stream, 1);
    const long reads = readCalls() - before;
    EXPECT_EQ(file.header(0).typedAttribute<Imf::StringAttribute>("manifest").value().size(),
              Length);
    EXPECT_LT(reads, 1000);
}

// A chunk offset in a file is any 64-bit number; seeking to one near 2^64 once wrapped the
// end-of-file check and read from before the buffer.
TEST(ExrReading, ReadsPastTheEndAreRefusedWhereverTheSeekWent) {
    const ScratchFolder folder;
    const std::string path = folder.path("small.exr");
    {
        Imf::Header header(4, 2);
        header.channels().insert("Z", Imf::Channel(Imf::FLOAT));
        Imf::OutputFile file(path.c_str(), header);
        Imf::FrameBuffer nothing;
        file.setFrameBuffer(nothing);
        file.writePixels(2);
    }
    umbrix::ExrReadStream stream(path);
    char first[4] = {};
    stream.read(first, 4); // fills the buffer from the start of the file
    constexpr uint64_t Last = std::numeric_limits<uint64_t>::max();
    const uint64_t size = std::filesystem::file_size(path);
    const struct {
        uint64_t at;
        int bytes;
    } reads[] = {{size, 1},     {size - 2, 4},   {size + 1, 0},        {Last, 1},
                 {Last - 2, 4}, {Last, 1 << 16}, {Last - 100, 1 << 20}};
    for (const auto& read : reads) {
        std::vector<char> into(static_cast<std::size_t>(read.bytes) + 1);
        stream.seekg(read.at);
        EXPECT_THROW(stream.read(into.data(), read.bytes), Iex::InputExc)
            << read.bytes << " bytes at " << read.at;
    }
    stream.seekg(size - 1);
    EXPECT_NO_THROW(stream.read(first, 1));
}

std::string bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A file's numbers are little-endian, as every machine the program builds on is.
template <typename Number> Number numberAt(const std::string& bytes, std::size_t at) {
    Number value{};
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

template <typename Number> void putNumber(std::string& bytes, std::size_t at, Number value) {
    std::memcpy(bytes.data() + at, &value, sizeof value);
}

// What the zip reader reads of every channel, a half in the low bits of its word as ExrChannel
// holds it; RunError as the reader throws it.
std::vector<std::vector<std::uint32_t>> readByZipReader(const std::string& path,
                                                        const ExrPart& part) {
    std::vector<std::vector<std::uint32_t>> samples;
    Imf::FrameBuffer buffer;
    for (const ExrChannel& channel : part.channels) {
        samples.emplace_back(channel.bits.size());
        buffer.insert(
            channel.name,
            Imf::Slice::Make(channel.type, samples.back().data(), part.dataWindow.min, part.width(),
                             part.height(), sizeof(std::uint32_t),
                             sizeof(std::uint32_t) * static_cast<std::size_t>(part.width())));
    }
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const auto size = static_cast<std::uint64_t>(std::filesystem::file_size(path));
    try {
        umbrix::readZipPart(fd, size, path, 0, buffer);
    } catch (...) {
        close(fd);
        throw;
    }
    close(fd);
    return samples;
}

// An entry of a chunk offset table that is wrong while the chunks themselves are whole — an
// interrupted or careless writer's — is found again by walking the chunks from the end of the
// table: the pixels are those OpenEXR reads from the file before the damage, as its C++ reader
// reads them from every damaged file here it takes. A chunk whose own header is wrong too cannot
// be found, and the file is refused.
TEST(ExrReading, ZipChunksAreFoundWhereTheOffsetTableIsWrong) {
    const ScratchFolder folder;
    const struct {
        const char* what;
        Imf::Compression compression;
        int tileSize;
        std::size_t chunks;
    } layouts[] = {{"zip", Imf::ZIP_COMPRESSION, 0, 4},
                   {"zips", Imf::ZIPS_COMPRESSION, 0, 50},
                   {"zip tiles", Imf::ZIP_COMPRESSION, 16, 3 * 4}};
    for (const auto& layout : layouts) {
        ExrPart part = exrPart(48, 50, {-3, 5});
        part.compression = layout.compression;
        part.tileSize = layout.tileSize;
        addChannel(part, "R", Imf::HALF, [](int x, int y) { return std::sin(x * 0.3 + y); });
        addChannel(part, "Z", Imf::FLOAT, [](int x, int y) { return x * 0.25 - y; });
        const std::string whole = folder.path("whole.exr");
        writeExrFile(whole, {part});
        const ExrPart read = readExrFile(whole).at(0);
        const std::string bytes = bytesOf(whole);
        // OpenEXR writes the first chunk right after the table.
        std::size_t table = 0;
        while (numberAt<std::uint64_t>(bytes, table) != table + 8 * layout.chunks)
            ++table;
        const std::size_t entry = table + 8 * (layout.chunks / 2);
        const struct {
            const char* what;
            std::uint64_t offset;
            bool chunkHeaderToo;
        } damages[] = {{"before the chunks", table / 2, false},
                       {"past the end", bytes.size() + 100, false},
                       {"into another chunk", numberAt<std::uint64_t>(bytes, entry - 8) + 9, false},
                       {"zero, as a writer that stopped leaves it", 0, false},
                       {"past the end, the chunk's header wrong", bytes.size() + 100, true}};
        for (const auto& damage : damages) {
            SCOPED_TRACE(::testing::Message() << layout.what << ", entry " << damage.what);
            std::string file = bytes;
            putNumber(file, entry, damage.offset);
            if (damage.chunkHeaderToo)
                putNumber(file, numberAt<std::uint64_t>(bytes, entry), std::int32_t{0x7fff0000});
            const std::string path = folder.path("damaged.exr");
            std::ofstream(path, std::ios::binary) << file;
            if (damage.chunkHeaderToo) {
                try {
                    readByZipReader(path, read);
                    ADD_FAILURE() << "read";
                } catch (const umbrix::RunError& error) {
                    EXPECT_TRUE(std::string(error.what()).starts_with(path + ": cannot read: "))
                        << error.what();
                }
                continue;
            }
            const std::vector<std::vector<std::uint32_t>> samples = readByZipReader(path, read);
            for (std::size_t c = 0; c < read.channels.size(); ++c)
                EXPECT_TRUE(samples[c] == read.channels[c].bits) << read.channels[c].name;
        }
    }
}

} // namespace
} // namespace apptest
