#include "tests/fuzz/FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fuzzsupport {

namespace {

// Removed when the process ends normally; libFuzzer ends a run with exit().
class ScratchFolder {
  public:
    ScratchFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "umbrix-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            std::perror("umbrix: fuzz: cannot make a scratch folder");
            std::abort();
        }
        Path = pattern;
    }
    ~ScratchFolder() {
        std::error_code error;
        std::filesystem::remove_all(Path, error);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::filesystem::path Path;
};

const ScratchFolder& scratch() {
    static const ScratchFolder folder;
    return folder;
}

} // namespace

std::string scratchPath(std::string_view name) {
    return (scratch().Path / name).string();
}

std::string scratchFile(std::string_view name, const std::uint8_t* data, std::size_t size) {
    const std::string path = scratchPath(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out) {
        std::fprintf(stderr, "umbrix: fuzz: cannot write %s\n", path.c_str());
        std::abort();
    }
    return path;
}

const char* toolPath() {
    return UMBRIX_FUZZ_PLUGIN_PATH;
}

const umbrix::Tool& tool() {
    // Kept for the whole process: the library stays loaded, as in a run.
    static const umbrix::Tool* loaded = new umbrix::Tool(toolPath());
    return *loaded;
}

Split splitLine(std::string_view text) {
    const std::size_t at = text.find('\n');
    if (at == std::string_view::npos)
        return {text, {}};
    return {text.substr(0, at), text.substr(at + 1)};
}

void checkMessage(const std::exception& failure) {
    const std::string_view text = failure.what();
    FUZZ_CHECK(!text.empty() && text.size() <= 1000);
    for (const char c : text)
        FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f);
}

void fail(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "umbrix: fuzz: %s:%d: %s does not hold\n", file, line, condition);
    std::abort();
}

} // namespace fuzzsupport
