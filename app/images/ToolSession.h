#pragma once

#include "minihost/Host.h"

#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace umbrix {

// The tool as a host holds it: its library loaded, one operator of its class created.
class ToolSession {
  public:
    // Loads the library and creates the operator; RunError when either fails.
    explicit ToolSession(const std::string& libraryPath);
    ~ToolSession();
    ToolSession(const ToolSession&) = delete;
    ToolSession& operator=(const ToolSession&) = delete;

    // The inputs a user sets or presses, in the order the tool created them; not the image input.
    std::vector<Input*> controls() const;
    Input* control(std::string_view id) const;

    void set(Input& control, double value);

    // Another operator of the tool's class, at its defaults, for a render of its own.
    minihost::OperatorPtr createOperator() const;

    // What the About button shows.
    std::string aboutText();

  private:
    std::string LibraryPath;
    minihost::Plugin Library;
    minihost::OperatorPtr Tool;
};

// Renders `source` with operator `tool` at `time`; the result stores the source's channels. The
// source is only read. RunError when the tool hands back no image; null when `stop` was requested
// before the render was done.
minihost::ImagePtr renderImage(Operator& tool, const Image& source, double time,
                               std::stop_token stop = {});

// Where the tool library is when no path is given: installed with this program.
std::string defaultLibraryPath();

} // namespace umbrix
