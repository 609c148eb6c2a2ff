#pragma once

namespace umbrix {

// The umbrix command line: parses argv, runs the command it names and returns the exit status,
// with every message on stderr and listings on stdout. Process-wide settings (signals) are the
// caller's; nothing of one call is left to change the next.
int runCommandLine(int argc, char** argv);

} // namespace umbrix
