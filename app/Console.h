#pragma once

#include <functional>
#include <string>

namespace umbrix {

// stderr, shared by messages and the progress bar: a message never lands in the middle of the bar.
namespace console {

// Whether stderr is a terminal (the bar is drawn only there).
bool isTerminal();

// One line starting "umbrix: ".
void message(const std::string& text);
// A warning, printed once however many frames raise it.
void warning(const std::string& text);

// A new run of the command line: no warning printed yet, no status line drawn.
void startRun();

// The line that the next status() or message() replaces; empty clears it.
void status(const std::string& text);

// Where messages and warnings go instead of stderr, for a face that shows them its own way (the
// Python module); none gives them back to stderr. A sink gets every warning each time it is
// raised, as it keeps "once" itself (once a call), and no status line.
using Sink = std::function<void(const std::string& text, bool warning)>;
void setSink(Sink sink);

} // namespace console

} // namespace umbrix
