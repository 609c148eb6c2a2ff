#pragma once

// State shared between the stand-in host's parts; not part of what programs or tools see.

#include "host/Input.h"
#include "host/Number.h"
#include "host/Output.h"
#include "minihost/Host.h"

#include <cstdarg>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

namespace minihost::detail {

// Ends a variadic argument list when the scope ends, however it ends.
class VaListEnd {
  public:
    explicit VaListEnd(va_list& args) : Args(args) {}
    ~VaListEnd() { va_end(Args); }
    VaListEnd(const VaListEnd&) = delete;
    VaListEnd& operator=(const VaListEnd&) = delete;

  private:
    va_list& Args;
};

void notifyLifecycle(const std::string& event);
bool takeAllocationFailure();
void countControlCreation();

// Hands an image made during a render to the render's owner; null when no render is under way on
// this thread.
Image* adoptRenderImage(std::unique_ptr<Image> image);

// What stops the request's render; a token that is never stopped when nothing can.
std::stop_token renderStop(const Request& request);

} // namespace minihost::detail

struct InputRecord {
    minihost::ControlInfo info;
    Input handle{this};
    Number value;                // a number input's value
    Parameter* source = nullptr; // what is connected to an image input
};

struct OutputRecord {
    minihost::ControlInfo info;
    Output handle{this};
};

struct OperatorRecord {
    std::vector<std::string> pages;
    std::vector<std::unique_ptr<InputRecord>> inputs;
    std::vector<std::unique_ptr<OutputRecord>> outputs;
};
