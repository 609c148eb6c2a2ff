#pragma once

#include "app/images/Frame.h"
#include "minihost/Host.h"

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

    // Renders `source` at `time`; the result stores the source's channels. RunError when the tool
    // hands back no image.
    minihost::ImagePtr render(Image& source, double time);
    // Renders a frame's source image, which the result then replaces. RunError, naming the file,
    // when it cannot.
    void render(Frame& frame, double time);

    // What the About button shows.
    std::string aboutText();

  private:
    minihost::Plugin Library;
    minihost::OperatorPtr Tool;
};

// Where the tool library is when no path is given: installed with this program.
std::string defaultLibraryPath();

} // namespace umbrix
