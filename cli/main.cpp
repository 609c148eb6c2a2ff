#include "app/core/FatalSignal.h"
#include "app/core/Output.h"
#include "cli/CommandLine.h"

#include <csignal>

int main(int argc, char** argv) {
    // A closed stderr (a farm's log reader gone) must not kill a run whose frames are written.
    std::signal(SIGPIPE, SIG_IGN);
    // A fault in a frame's decoding ends the process, but a farm's log names the frame.
    umbrix::reportFatalSignals();
    umbrix::keepOutputsWholeOnSignal();
    return umbrix::runCommandLine(argc, argv);
}
