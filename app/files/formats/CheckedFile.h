#pragma once

#include "app/files/FileWriting.h"

#include <OpenImageIO/filesystem.h>
#include <cstdint>
#include <mutex>
#include <string>

namespace umbrix {

// The file an image writer writes through. Some writers do not check what their writes return, so
// this keeps the first error itself, and finish() reports it: a full disk can never pass as a
// complete file.
class CheckedFile : public OIIO::Filesystem::IOProxy {
  public:
    // Opens `path` for writing; `shownPath` names it in messages. RunError when it cannot.
    CheckedFile(const std::string& path, const std::string& shownPath);
    ~CheckedFile() override;
    CheckedFile(const CheckedFile&) = delete;
    CheckedFile& operator=(const CheckedFile&) = delete;

    const char* proxytype() const override { return "checked file"; }
    bool seek(int64_t offset) override;
    size_t write(const void* data, size_t size) override;
    size_t pwrite(const void* data, size_t size, int64_t offset) override;
    size_t size() const override;

    // Whether a write failed, and why.
    bool failed() const;
    std::string failure() const;
    // Makes the data durable and closes the file. RunError, naming the file, on any failure so far.
    void finish();

  private:
    std::string Shown;
    WrittenFile File;
    bool Regular = false;
    int64_t End = 0;
    mutable std::mutex Lock;

    size_t writeAt(const void* data, size_t size, int64_t offset);
};

} // namespace umbrix
