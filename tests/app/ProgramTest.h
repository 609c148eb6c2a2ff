#pragma once

#include "tests/support/ToolFixture.h"

#include <OpenImageIO/imageio.h>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace apptest {

using testsupport::bits;

// What a finished program run left: its exit status and everything it printed.
struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// `program` and `args` as exec takes them, alive as long as this is.
class ExecArguments {
  public:
    ExecArguments(const std::string& program, const std::vector<std::string>& args);
    char** argv() { return Pointers.data(); }

  private:
    std::vector<std::string> All;
    std::vector<char*> Pointers;
};

// Runs `program` with `args` (no shell), stdin empty, and waits for it; `environment` holds
// NAME=VALUE entries to add to this process's own.
Outcome runProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::vector<std::string>& environment = {});
// Runs the umbrix program.
Outcome umbrix(const std::vector<std::string>& args,
               const std::vector<std::string>& environment = {});
// Runs the umbrix command line in this process, its stdout and stderr captured for the call: for
// all a run shows but what only a whole process can (signals, limits, the environment).
Outcome inProcess(const std::vector<std::string>& args);

// A fresh folder, removed with everything in it at the end of the test.
class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string path(const std::string& name) const;
    // Names of the entries, hidden ones included, sorted.
    std::vector<std::string> entries() const;

  private:
    std::filesystem::path Root;
};

// An image as a file holds it: named channels, float pixels interleaved over the data window.
struct FileData {
    OIIO::ImageSpec header;
    std::vector<float> pixels;

    int channel(const std::string& name) const; // index, or -1
    float& at(int x, int y, const std::string& name);
    float at(int x, int y, const std::string& name) const;
};

// A float image of the given size and channels, every sample from value(x, y, channel index).
FileData makeFile(int width, int height, const std::vector<std::string>& channels,
                  const std::function<float(int, int, int)>& value);

// What a channel of a test scene holds.
enum class Role { Colour, Alpha, Depth, NormalX, NormalY, NormalZ, Other };
// A small scene in which every role matters to the tool: depth with slopes and a step that
// occlusion sees, unit normals that turn from pixel to pixel, distinct values everywhere else.
FileData sceneFile(int width, int height,
                   const std::vector<std::pair<std::string, Role>>& channels);
// The channels of a renderer's usual output: R G B A, Z, and N.X N.Y N.Z.
const std::vector<std::pair<std::string, Role>>& usualChannels();

// Writes as EXR (or what the name says), storing the pixels in `type`.
void writeFile(const std::string& path, const FileData& data,
               OIIO::TypeDesc type = OIIO::TypeDesc::FLOAT);
// Reads the first part as float, as stored; fails the test when it cannot.
FileData readFile(const std::string& path);

// Every channel of `names` in `actual` equal to the bit to the same channel of `expected`.
::testing::AssertionResult sameChannelBits(const FileData& expected, const FileData& actual,
                                           const std::vector<std::string>& names);

// Whether `text` starts with "umbrix: " and contains every one of `parts`.
::testing::AssertionResult isMessage(const std::string& text,
                                     const std::vector<std::string>& parts);

// The value of control `id` that an output's header records as a double, if it records one.
std::optional<double> stampedValue(const OIIO::ImageSpec& header, const std::string& id);

// One control value as typed on the command line.
struct Setting {
    const char* id;
    const char* value;
};
// Occlusion on, refined with supplied normals, so depth and normals both shape channel 3.
const std::vector<Setting>& occlusionWithNormals();

// "--set ID=VALUE" for each setting.
std::vector<std::string> setArguments(const std::vector<Setting>& settings);

// Keeps the tool library loaded in the test too, to render the same source in-process and compare.
class ProgramTest : public testsupport::ToolTest {
  protected:
    ScratchFolder Folder;

    // Renders a host image holding `data`'s channel i at numbers[i] in-process, with `settings`
    // applied to a new tool.
    minihost::ImagePtr renderInProcess(const FileData& data, const std::vector<int>& numbers,
                                       const std::vector<Setting>& settings);
};

} // namespace apptest
