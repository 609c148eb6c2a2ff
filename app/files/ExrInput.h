#pragma once

#include "app/images/Frame.h"

#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfMultiPartInputFile.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace umbrix {

class ExrReadStream;

// An EXR file being read: every part's header, and, in a file of several parts, the file itself,
// open until the frame is written, since the parts that are not rendered are copied from it as
// they are stored.
class ExrSource {
  public:
    ExrSource(const std::string& path, int threads);
    ~ExrSource();
    ExrSource(const ExrSource&) = delete;
    ExrSource& operator=(const ExrSource&) = delete;

    // Open until closeIfDone(), and then only in a file of several parts.
    Imf::MultiPartInputFile& file() { return *File; }
    int parts() const { return static_cast<int>(Headers.size()); }
    const Imf::Header& header(int part) const { return Headers[static_cast<std::size_t>(part)]; }
    int renderedPart() const { return Rendered; }
    void setRenderedPart(int part) { Rendered = part; }

    // Once the rendered part is read: a file of one part has nothing more to give, and its
    // buffers would stay with the frame until it is written.
    void closeIfDone();

  private:
    std::unique_ptr<ExrReadStream> Stream;
    std::unique_ptr<Imf::MultiPartInputFile> File;
    std::vector<Imf::Header> Headers;
    int Rendered = 0;
};

// Whether the file starts as an EXR file does. RunError, naming the file, when it cannot be opened.
bool looksLikeExr(const std::string& path);

// Opens the part the tool renders — the one named `part`, else the first that holds a depth
// channel, else the first — and maps its channels from the header alone. UsageError or RunError,
// naming the file, when it cannot.
Frame openExr(const std::string& path, const FrameNaming& naming,
              const std::optional<std::string>& part);
// Reads an opened frame's part at its full resolution, straight into the frame's planes. RunError,
// naming the file, when it cannot.
void loadExr(Frame& frame);

// Kinds of EXR part.
bool isDeepPart(const Imf::Header& header);
bool isTiledPart(const Imf::Header& header);

} // namespace umbrix
