// How the program's stream feeds OpenEXR: in-process, counting the reads it makes of the file.

#include "app/files/ExrStreams.h"
#include "tests/app/ProgramTest.h"

#include <OpenEXR/Iex.h>
#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfMultiPartInputFile.h>
#include <OpenEXR/ImfOutputFile.h>
#include <OpenEXR/ImfStringAttribute.h>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
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

} // namespace
} // namespace apptest
