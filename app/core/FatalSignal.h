#pragma once

#include <string>

namespace umbrix {

// Names the file being read while it is read, for a fatal signal's message: a fault in a frame's
// decoding that kills the process must say which frame it was.
class ReadingFile {
  public:
    explicit ReadingFile(const std::string& path);
    ~ReadingFile();
    ReadingFile(const ReadingFile&) = delete;
    ReadingFile& operator=(const ReadingFile&) = delete;

  private:
    int Slot;
};

// Makes SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT write "umbrix: FILE: fatal signal N (NAME)
// while reading" to stderr for each file being read, then end the process by the same signal (or
// pass it to the handler installed before, a sanitizer's). For the program's main alone.
void reportFatalSignals();

} // namespace umbrix
