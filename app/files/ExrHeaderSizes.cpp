#include "app/files/ExrHeaderSizes.h"

#include "app/Failure.h"
#include "app/Text.h"

#include <cstring>
#include <fmt/format.h>
#include <optional>
#include <unistd.h>

namespace umbrix {

namespace {

constexpr std::uint32_t Magic = 20000630;
constexpr std::uint32_t MultiPartFlag = 0x1000;
// Attribute and type names are at most 255 bytes long, and their ending zero.
constexpr std::size_t NameRoom = 256;

// Reads the header's words where they are, as an attribute's value is skipped, not read.
class HeaderReader {
  public:
    HeaderReader(int fd, std::uint64_t size) : Fd(fd), Size(size) {}

    std::uint64_t left() const { return Size - At; }

    std::optional<std::uint32_t> word() {
        unsigned char bytes[4];
        if (!take(bytes, sizeof bytes))
            return std::nullopt;
        return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
               std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24;
    }

    // A name up to its zero; nullopt at the end of the file or when there is no zero in reach.
    std::optional<std::string> name() {
        char bytes[NameRoom];
        const ssize_t got = pread(Fd, bytes, sizeof bytes, static_cast<off_t>(At));
        if (got <= 0)
            return std::nullopt;
        const void* zero = std::memchr(bytes, '\0', static_cast<std::size_t>(got));
        if (!zero)
            return std::nullopt;
        const auto length = static_cast<std::size_t>(static_cast<const char*>(zero) - bytes);
        At += length + 1;
        return std::string(bytes, length);
    }

    void skip(std::uint64_t bytes) { At += bytes; }

    // Takes the zero that ends a list of headers, if it is next.
    bool endOfList() {
        char next = 1;
        if (pread(Fd, &next, 1, static_cast<off_t>(At)) != 1)
            return true;
        if (next == '\0')
            ++At;
        return next == '\0';
    }

  private:
    int Fd;
    std::uint64_t Size;
    std::uint64_t At = 0;

    bool take(void* into, std::size_t bytes) {
        if (left() < bytes ||
            pread(Fd, into, bytes, static_cast<off_t>(At)) != static_cast<ssize_t>(bytes))
            return false;
        At += bytes;
        return true;
    }
};

// One header's attributes, up to the empty name that ends it; false where the scan cannot go on.
bool checkAttributes(HeaderReader& reader, const std::string& path) {
    while (true) {
        const std::optional<std::string> name = reader.name();
        if (!name)
            return false;
        if (name->empty())
            return true;
        const std::optional<std::string> type = reader.name();
        const std::optional<std::uint32_t> declared = reader.word();
        if (!type || !declared)
            return false;
        const auto bytes = static_cast<std::int32_t>(*declared);
        if (bytes < 0 || static_cast<std::uint64_t>(bytes) > reader.left())
            throw RunError(fmt::format("{}: cannot read: header attribute '{}' declares {} bytes, "
                                       "more than the {} left in the file",
                                       path, excerpt(*name), bytes, reader.left()));
        reader.skip(static_cast<std::uint64_t>(bytes));
    }
}

} // namespace

void checkExrHeaderSizes(int fd, std::uint64_t size, const std::string& path) {
    HeaderReader reader(fd, size);
    const std::optional<std::uint32_t> magic = reader.word();
    const std::optional<std::uint32_t> version = reader.word();
    if (!magic || *magic != Magic || !version)
        return;
    // A file of several parts has a header per part, and one more empty name after the last.
    const bool parts = (*version & MultiPartFlag) != 0;
    do
        if (!checkAttributes(reader, path))
            return;
    while (parts && !reader.endOfList());
}

} // namespace umbrix
