#pragma once

#include "app/files/FileWriting.h"

#include <OpenEXR/ImfIO.h>
#include <cstdint>
#include <string>
#include <vector>

namespace umbrix {

// A file OpenEXR reads from. Only regular files (or links to them) are opened: a device or a pipe
// could feed a reader forever. RunError, naming the file, when it cannot be opened. Small reads
// come from a buffer: OpenEXR reads a string attribute a byte at a time, and a header can hold
// megabytes of them. OpenEXR reads a file from one thread at a time.
class ExrReadStream : public Imf::IStream {
  public:
    explicit ExrReadStream(const std::string& path);
    ~ExrReadStream() override;
    ExrReadStream(const ExrReadStream&) = delete;
    ExrReadStream& operator=(const ExrReadStream&) = delete;

    bool read(char c[], int n) override;
    uint64_t tellg() override { return Position; }
    void seekg(uint64_t position) override { Position = position; }
    uint64_t size() const { return Size; }
    int fd() const { return Fd; }

  private:
    int Fd = -1;
    uint64_t Size = 0;
    uint64_t Position = 0;
    std::vector<char> Buffer; // the file's bytes from BufferStart
    uint64_t BufferStart = 0;

    // Reads n bytes at `at` straight from the file.
    void readAt(char c[], std::size_t n, uint64_t at) const;
};

// A file OpenEXR writes to. Writes are gathered in a buffer and every error is kept, since OpenEXR
// writes its last table while it is being destroyed and cannot report a failure then; finish()
// reports it, so a full disk can never pass for a complete file.
class ExrWriteStream : public Imf::OStream {
  public:
    // Opens `path` for writing; `shownPath` names it in messages. RunError when it cannot.
    ExrWriteStream(const std::string& path, const std::string& shownPath);
    ~ExrWriteStream() override;
    ExrWriteStream(const ExrWriteStream&) = delete;
    ExrWriteStream& operator=(const ExrWriteStream&) = delete;

    void write(const char c[], int n) override;
    uint64_t tellp() override { return Position; }
    void seekp(uint64_t position) override;

    // Writes what is buffered, makes the file durable and closes it. RunError, naming the file, on
    // any failure so far.
    void finish();

  private:
    std::string Shown;
    WrittenFile File;
    bool Regular = false;
    uint64_t Position = 0;    // where the next write goes
    uint64_t BufferStart = 0; // file position of Buffer[0]
    std::vector<char> Buffer;

    void flush();
    [[noreturn]] void raise() const;
};

} // namespace umbrix
