// Replays inputs through a fuzz target without libFuzzer: every file named, and every file in
// every folder named, in name order. A fault ends the process as it would under the fuzzer.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::vector<std::filesystem::path> inputsOf(const std::filesystem::path& given) {
    std::vector<std::filesystem::path> inputs;
    if (std::filesystem::is_directory(given)) {
        for (const auto& entry : std::filesystem::directory_iterator(given))
            if (entry.is_regular_file())
                inputs.push_back(entry.path());
        std::sort(inputs.begin(), inputs.end());
    } else {
        inputs.push_back(given);
    }
    return inputs;
}

} // namespace

int main(int argc, char** argv) {
    std::size_t replayed = 0;
    for (int k = 1; k < argc; ++k) {
        for (const std::filesystem::path& input : inputsOf(argv[k])) {
            std::error_code error;
            std::vector<char> bytes(std::filesystem::file_size(input, error));
            std::ifstream in(input, std::ios::binary);
            in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            if (error || !in) {
                std::fprintf(stderr, "umbrix: replay: cannot read %s\n", input.c_str());
                return 1;
            }
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                   bytes.size());
            ++replayed;
        }
    }
    std::printf("replayed %zu inputs\n", replayed);
    // A folder of seeds that went missing would otherwise pass for a clean replay.
    return replayed > 0 ? 0 : 1;
}
