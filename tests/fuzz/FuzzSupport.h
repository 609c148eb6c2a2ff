#pragma once

#include "app/core/Tool.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

// What the fuzz targets share. Each target is one libFuzzer entry point,
// LLVMFuzzerTestOneInput, built either with libFuzzer (the fuzz preset) or with ReplayMain.cpp,
// which feeds it the files it is given.
namespace fuzzsupport {

// A file of this process's scratch folder, made on first use and removed at exit: a reader that
// takes a path reads the input from there, and what is written goes there.
std::string scratchPath(std::string_view name);

// Writes the bytes to the scratch file `name` and returns its path.
std::string scratchFile(std::string_view name, const std::uint8_t* data, std::size_t size);

// The tool's library, as built with the targets.
const char* toolPath();

// The tool, loaded once per process; each call starts from its defaults().
const umbrix::Tool& tool();

// What the program prints for a failure must be one line without control characters, and short
// however long the input it quotes; a fault otherwise.
void checkMessage(const std::exception& failure);

// The input split at its first line break: what comes before, and what after. An input without
// one is all `first`.
struct Split {
    std::string_view first;
    std::string_view rest;
};
Split splitLine(std::string_view text);

} // namespace fuzzsupport

// A fault the fuzzer should keep: a property the program promises does not hold. Aborts.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition))                                                                          \
            fuzzsupport::fail(#condition, __FILE__, __LINE__);                                     \
    } while (false)

namespace fuzzsupport {
[[noreturn]] void fail(const char* condition, const char* file, int line);
}
