#pragma once

#include "app/images/Frame.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace umbrix {

// One item of --ch: the output channel `from`, written as `name` (NAME, or NAME=FROM).
struct ChannelPick {
    std::string name;
    std::string from;
};
// UsageError unless the text is a comma-separated list of such items, none named longer than
// LongestChannelName.
std::vector<ChannelPick> parseChannelPicks(std::string_view list);

// One -d: a pixel type for the results, or for the output channel `name`.
struct TypeChoice {
    std::optional<std::string> name;
    SampleType type = SampleType::Float;
};
// UsageError unless the text is TYPE or NAME=TYPE, TYPE being half or float.
TypeChoice parseTypeChoice(std::string_view text);

// The compressions an EXR is written with, by the names oiiotool gives them.
enum class Compression { None, Rle, Zips, Zip, Piz, Pxr24, B44, B44a, Dwaa, Dwab };

// --compression NAME, zip:LEVEL or dwaa:QUALITY.
struct CompressionChoice {
    std::string text; // as given
    Compression kind = Compression::Zip;
    std::optional<int> zipLevel;
    std::optional<float> dwaQuality;
    bool lossy = false;
};
// UsageError unless the text names a compression EXR files have.
CompressionChoice parseCompression(std::string_view text);

// What the command line asks of the written channels.
struct OutputOptions {
    std::vector<ChannelPick> picks; // empty: every channel the format holds
    std::vector<TypeChoice> types;
    std::optional<CompressionChoice> compression;
    bool clamp = false;           // occlusion written within [0, 1]
    std::vector<Attribute> stamp; // what every EXR written carries: the program, time, controls
};

} // namespace umbrix
