#include "app/files/FileWriting.h"

#include <cerrno>
#include <unistd.h>

namespace umbrix {

std::size_t WrittenFile::writeAt(const void* data, std::size_t size, std::uint64_t at) {
    if (error != 0)
        return 0;
    if (at != offset) {
        if (lseek(fd, static_cast<off_t>(at), SEEK_SET) < 0) {
            error = errno;
            return 0;
        }
        offset = at;
    }
    const auto* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    offset += done;
    return done;
}

void WrittenFile::syncAndClose(bool regular) {
    if (error == 0 && regular && fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    fd = -1;
}

} // namespace umbrix
