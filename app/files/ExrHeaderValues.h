#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace umbrix {

// The values of one EXR header that the readers later divide by, allocate by, loop over or index
// with, as the header pre-scan finds them. Either reader may take either of two attributes of the
// same name, so each value seen is kept.
class ExrHeaderValues {
  public:
    // Whether the attribute `name` is one whose value `note` looks at.
    static bool holds(const std::string& name);

    // The value of the attribute `name` of type `type`, `value` its bytes as the file has them.
    // RunError, naming `path` and the attribute, for a value that is wrong on its own.
    void note(const std::string& name, const std::string& type, std::string_view value,
              const std::string& path);

    // RunError for values that are wrong together, once the header's end is reached: a channel's
    // sampling against the data window, and the chunks the header declares against the
    // `bytesLeft` the file holds after the headers. The chunks of every part so far are summed
    // in `chunks`.
    void check(std::uint64_t bytesLeft, std::uint64_t& chunks, const std::string& path) const;

  private:
    struct Box {
        std::int64_t minX, minY, maxX, maxY;
    };
    struct Channel {
        std::string name;
        int xSampling, ySampling;
    };
    struct Tiles {
        std::uint32_t width, height;
        int levels, rounding;
    };

    std::vector<Channel> Channels;
    std::vector<Box> DataWindows;
    std::vector<int> Compressions;
    std::vector<Tiles> TileSizes;
    std::vector<std::int64_t> ChunkCounts;

    std::uint64_t fewestChunks(const Box& data) const;
};

} // namespace umbrix
