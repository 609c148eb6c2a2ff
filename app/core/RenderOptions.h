#pragma once

#include <optional>
#include <string>
#include <vector>

namespace umbrix {

// A run of frames to files, as `umbrix render` and `render_file` ask for it.
struct RenderOptions {
    std::string input;
    std::string output;
    std::vector<std::string> settings; // ID=VALUE
    std::vector<std::string> maps;     // NAME=NUMBER
    std::optional<std::string> frames;
    int threads = 0;
    std::optional<std::string> preview;
    bool quiet = false;
    std::optional<std::string> library;
    std::optional<std::string> part; // the EXR part to render
    std::vector<std::string> views;  // --view: the views of a multi-view EXR to render; all if none
    // What is written, in oiiotool's words.
    std::optional<std::string> layer;        // --layer NAME: the results as NAME.R ... NAME.A
    std::optional<std::string> channels;     // --ch LIST
    std::vector<std::string> types;          // -d TYPE, -d NAME=TYPE
    std::optional<std::string> compression;  // --compression NAME[:LEVEL]
    bool clamp = false;                      // --clamp: occlusion written within [0, 1]
    std::optional<std::string> settingsFile; // --settings: control values applied before --set
    std::optional<std::string> saveSettings; // --save-settings: where the values in effect go
    // --depth: how the file's depth channel measures depth, over a settings file's; z if neither
    std::optional<std::string> depth;
    bool verbose = false;
    bool dryRun = false;        // everything short of rendering, writing nothing
    bool skipBadFrames = false; // a frame that cannot be read is left out, the run goes on
};

} // namespace umbrix
