#pragma once

#include <OpenEXR/ImfCompression.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>
#include <cstdint>
#include <string>
#include <vector>

namespace umbrix {

class ExrWriteStream;

// Zip and zips parts go through OpenEXR's core chunk pipeline, with the blocks inflated and
// deflated by ZipBlocks; OpenEXR's C++ API still reads them with zlib, which costs twice as much.
bool zipCompressed(Imf::Compression compression);

// Reads the first level of the zip or zips part `part` of the EXR file open as `fd`, `size`
// bytes long, into the slices of `buffer` (laid out as OpenEXR's C++ API lays them out), decoding
// the chunks on the host's worker pool. RunError naming `path` when a chunk is missing, truncated
// or corrupt.
void readZipPart(int fd, std::uint64_t size, const std::string& path, int part,
                 const Imf::FrameBuffer& buffer);

// Writes a file of the one part `header`, zip or zips, through `stream`, from the slices of
// `buffer`, encoding the chunks on the host's worker pool. The header is written by OpenEXR as
// its C++ API writes it. Errors are thrown; the stream keeps what it could not write.
void writeZipPart(ExrWriteStream& stream, const Imf::Header& header,
                  const Imf::FrameBuffer& buffer);

} // namespace umbrix
