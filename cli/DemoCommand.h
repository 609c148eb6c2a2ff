#pragma once

#include <optional>
#include <string>

namespace umbrix {

struct DemoOptions {
    std::string folder = ".";
    std::string size = "960x540"; // WIDTHxHEIGHT
    int threads = 0;
    bool quiet = false;
    std::optional<std::string> library;
};

// `umbrix demo`: renders the built-in scene with both passes into DIR/demo.exr and DIR/demo.png.
void runDemo(const DemoOptions& options);

} // namespace umbrix
