#pragma once

#include "app/ProgramFiles.h"
#include "app/core/ControlValues.h"
#include "app/core/Rendered.h"
#include "app/images/ToolSession.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace umbrix {

// The tool library, loaded once, and what every face asks of it: its controls' declarations and
// defaults, and renders. render() may be called from several threads at once: each render takes
// an operator of its own from a pool (the tool keeps its render state in the operator), so
// concurrent renders never share one. The pool holds as many operators as renders have run at
// once. Values and results refer to the Tool: it must outlive them.
class Tool {
  public:
    // RunError when the library cannot be loaded or makes no tool.
    explicit Tool(const std::string& libraryPath = defaultLibraryPath());

    const std::vector<Input*>& controls() const { return Controls; }
    // Every control at the tool's default.
    ControlValues defaults() const { return ControlValues(Controls); }

    // Renders a loaded frame with `values` at `time`, the frame untouched. RunError, naming the
    // frame's file, when the tool fails or memory runs out.
    Rendered render(std::shared_ptr<const Frame> source, const ControlValues& values,
                    double time = 0.0) const;
    // The same, given up once `stop` is requested: nothing then. Chunks already running finish;
    // no other starts.
    std::optional<Rendered> render(std::shared_ptr<const Frame> source, const ControlValues& values,
                                   double time, std::stop_token stop) const;

    // Drops the operators kept for later renders, and the render state they hold.
    void releaseIdle() const;

    // What the About button shows. Not while renders run.
    std::string aboutText() { return Session.aboutText(); }

  private:
    ToolSession Session; // declarations only: never renders
    std::vector<Input*> Controls;
    mutable std::mutex PoolLock;
    mutable std::vector<minihost::OperatorPtr> Idle;

    minihost::OperatorPtr takeOperator() const;
    void giveBack(minihost::OperatorPtr tool) const;
};

// More threads than this help on no machine the program meets, and each costs memory before it
// does anything.
inline constexpr int MaxThreads = 1024;

// A number of threads as typed: a whole number from 0 (one per core) to MaxThreads, blanks around
// it ignored; none for anything else.
std::optional<int> threadCount(std::string_view text);

// Bounds every thread that renders, reads or writes (0: one per core). Not while renders run.
void useThreads(int threads);

// Runs task(0) … task(count - 1) on the workers renders run on and returns once all have run,
// rethrowing the first exception any of them threw. Call from outside the workers.
void runOnWorkers(int count, const std::function<void(int)>& task);

} // namespace umbrix
