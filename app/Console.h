#pragma once

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

// The line that the next status() or message() replaces; empty clears it.
void status(const std::string& text);

} // namespace console

} // namespace umbrix
