#include "app/files/formats/CheckedFile.h"

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
    File.fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (File.fd < 0)
        throw RunError(fmt::format("{}: cannot write: {}", Shown, std::strerror(errno)), Shown);
    struct stat info {};
    Regular = fstat(File.fd, &info) == 0 && S_ISREG(info.st_mode);
}

CheckedFile::~CheckedFile() {
    if (File.fd >= 0)
        ::close(File.fd);
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

size_t CheckedFile::writeAt(const void* data, size_t size, int64_t offset) {
    const size_t done = File.writeAt(data, size, static_cast<std::uint64_t>(offset));
    End = std::max(End, static_cast<int64_t>(File.offset));
    return done;
}

bool CheckedFile::failed() const {
    std::lock_guard guard(Lock);
    return File.error != 0;
}

std::string CheckedFile::failure() const {
    std::lock_guard guard(Lock);
    return File.error != 0 ? std::strerror(File.error) : "";
}

void CheckedFile::finish() {
    std::lock_guard guard(Lock);
    File.syncAndClose(Regular);
    if (File.error != 0)
        throw RunError(fmt::format("{}: cannot write: {}", Shown, std::strerror(File.error)),
                       Shown);
}

} // namespace umbrix
