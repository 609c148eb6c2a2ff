#include "app/files/ExrStreams.h"

#include "app/Failure.h"
#include "app/files/ExrHeaderSizes.h"

#include <OpenEXR/Iex.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

namespace umbrix {

namespace {

constexpr std::size_t WriteBuffer = std::size_t{1} << 20;
// Reads this large or larger go straight to the file.
constexpr std::size_t ReadBuffer = std::size_t{1} << 16;

} // namespace

ExrReadStream::ExrReadStream(const std::string& path) : IStream(path.c_str()) {
    // Without O_NONBLOCK a pipe with no writer would block the open itself.
    Fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (Fd < 0)
        throw RunError(fmt::format("{}: cannot read: {}", path, std::strerror(errno)), path);
    struct stat info {};
    if (fstat(Fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const bool folder = S_ISDIR(info.st_mode);
        ::close(Fd);
        throw RunError(fmt::format("{}: cannot read: {}", path,
                                   folder ? "it is a folder" : "not a regular file"),
                       path);
    }
    fcntl(Fd, F_SETFL, fcntl(Fd, F_GETFL) & ~O_NONBLOCK);
    Size = static_cast<uint64_t>(info.st_size);
    try {
        checkExrHeaderSizes(Fd, Size, path);
    } catch (...) {
        ::close(Fd);
        throw;
    }
}

ExrReadStream::~ExrReadStream() {
    ::close(Fd);
}

void ExrReadStream::readAt(char c[], std::size_t n, uint64_t at) const {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t got = pread(Fd, c + done, n - done, static_cast<off_t>(at + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw Iex::IoExc(std::strerror(errno));
        if (got == 0)
            throw Iex::InputExc("unexpected end of file");
        done += static_cast<std::size_t>(got);
    }
}

bool ExrReadStream::read(char c[], int n) {
    // A chunk offset read from the file can put Position anywhere, even past 2^64 - n.
    if (n < 0 || Position > Size || static_cast<uint64_t>(n) > Size - Position)
        throw Iex::InputExc("unexpected end of file");
    const auto bytes = static_cast<std::size_t>(n);
    if (bytes >= ReadBuffer) {
        readAt(c, bytes, Position);
    } else {
        const bool buffered = Position >= BufferStart && Position - BufferStart <= Buffer.size() &&
                              bytes <= Buffer.size() - (Position - BufferStart);
        if (!buffered) {
            Buffer.clear();
            Buffer.resize(
                static_cast<std::size_t>(std::min<uint64_t>(ReadBuffer, Size - Position)));
            BufferStart = Position;
            try {
                readAt(Buffer.data(), Buffer.size(), Position);
            } catch (...) {
                Buffer.clear();
                throw;
            }
        }
        std::memcpy(c, Buffer.data() + (Position - BufferStart), bytes);
    }
    Position += static_cast<uint64_t>(n);
    return Position < Size;
}

ExrWriteStream::ExrWriteStream(const std::string& path, const std::string& shownPath)
    : OStream(path.c_str()), Shown(shownPath) {
    File.fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (File.fd < 0)
        throw RunError(fmt::format("{}: cannot write: {}", Shown, std::strerror(errno)), Shown);
    struct stat info {};
    Regular = fstat(File.fd, &info) == 0 && S_ISREG(info.st_mode);
    Buffer.reserve(WriteBuffer);
}

ExrWriteStream::~ExrWriteStream() {
    if (File.fd >= 0)
        ::close(File.fd);
}

void ExrWriteStream::raise() const {
    throw Iex::IoExc(std::strerror(File.error));
}

void ExrWriteStream::write(const char c[], int n) {
    if (File.error != 0)
        raise();
    const auto size = static_cast<std::size_t>(std::max(n, 0));
    if (Position != BufferStart + Buffer.size())
        flush();
    if (Buffer.empty())
        BufferStart = Position;
    if (Buffer.size() + size > WriteBuffer) {
        flush();
        BufferStart = Position;
        if (size >= WriteBuffer) {
            File.writeAt(c, size, Position);
            Position += size;
            if (File.error != 0)
                raise();
            return;
        }
    }
    Buffer.insert(Buffer.end(), c, c + size);
    Position += size;
}

void ExrWriteStream::seekp(uint64_t position) {
    flush();
    Position = position;
    if (File.error != 0)
        raise();
}

void ExrWriteStream::flush() {
    if (!Buffer.empty())
        File.writeAt(Buffer.data(), Buffer.size(), BufferStart);
    Buffer.clear();
    BufferStart = Position;
}

void ExrWriteStream::finish() {
    flush();
    File.syncAndClose(Regular);
    if (File.error != 0)
        throw RunError(fmt::format("{}: cannot write: {}", Shown, std::strerror(File.error)),
                       Shown);
}

} // namespace umbrix
