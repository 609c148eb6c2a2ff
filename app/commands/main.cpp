#include "app/commands/CommandLine.h"
#include "app/files/AtomicFile.h"

#include <csignal>

int main(int argc, char** argv) {
    // A closed stderr (a farm's log reader gone) must not kill a run whose frames are written.
    std::signal(SIGPIPE, SIG_IGN);
    umbrix::removeTemporaryOnSignal();
    return umbrix::runCommandLine(argc, argv);
}
