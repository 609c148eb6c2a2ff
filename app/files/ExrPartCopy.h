#pragma once

#include <OpenEXR/ImfForward.h>
#include <string>

namespace umbrix {

class ExrSource;

// A part the tool did not render, copied without decoding: its bits cannot change. RunError
// naming `path` when a deep chunk declares more bytes than the file holds.
void copyPart(Imf::MultiPartOutputFile& out, ExrSource& source, int part, const std::string& path);

} // namespace umbrix
