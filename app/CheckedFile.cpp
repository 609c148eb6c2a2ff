#include "app/CheckedFile.h"

#include "app/Failure.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

namespace umbrix {

CheckedFile::CheckedFile(const std::string& path, const std::string& shownPath)
    : IOProxy(path, IOProxy::Write), Shown(shownPath) {
    Fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (Fd < 0)
        throw RunError(fmt::format("{}: cannot write: {}", Shown, std::strerror(errno)));
    struct stat info {};
    Regular = fstat(Fd, &info) == 0 && S_ISREG(info.st_mode);
}

CheckedFile::~CheckedFile() {
    if (Fd >= 0)
        ::close(Fd);
}

bool CheckedFile::seek(int64_t offset) {
    std::lock_guard guard(Lock);
    m_pos = offset;
    return true;
}

size_t CheckedFile::write(const void* data, size_t size) {
    std::lock_guard guard(Lock);
    const size_t written = writeAt(data, size, m_pos);
    m_pos += static_cast<int64_t>(written);
    return written;
}

size_t CheckedFile::pwrite(const void* data, size_t size, int64_t offset) {
    std::lock_guard guard(Lock);
    return writeAt(data, size, offset);
}

size_t CheckedFile::size() const {
    std::lock_guard guard(Lock);
    return static_cast<size_t>(End);
}

// Writes in order go through write(), so pipes and devices, which cannot seek, work too.
size_t CheckedFile::writeAt(const void* data, size_t size, int64_t offset) {
    if (Error != 0)
        return 0;
    if (offset != DescriptorOffset) {
        if (lseek(Fd, offset, SEEK_SET) < 0) {
            Error = errno;
            return 0;
        }
        DescriptorOffset = offset;
    }
    const auto* bytes = static_cast<const char*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(Fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            Error = n < 0 ? errno : EIO;
            break;
        }
        done += static_cast<size_t>(n);
    }
    DescriptorOffset += static_cast<int64_t>(done);
    End = std::max(End, DescriptorOffset);
    return done;
}

bool CheckedFile::failed() const {
    std::lock_guard guard(Lock);
    return Error != 0;
}

std::string CheckedFile::failure() const {
    std::lock_guard guard(Lock);
    return Error != 0 ? std::strerror(Error) : "";
}

void CheckedFile::finish() {
    std::lock_guard guard(Lock);
    if (Error == 0 && Regular && fsync(Fd) != 0)
        Error = errno;
    if (::close(Fd) != 0 && Error == 0)
        Error = errno;
    Fd = -1;
    if (Error != 0)
        throw RunError(fmt::format("{}: cannot write: {}", Shown, std::strerror(Error)));
}

} // namespace umbrix
