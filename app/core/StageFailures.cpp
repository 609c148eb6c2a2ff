#include "app/core/StageFailures.h"

#include <system_error>

namespace umbrix {

namespace {

template <class Stage>
auto naming(const std::string& path, const Stage& stage) -> decltype(stage()) {
    try {
        return stage();
    } catch (...) {
        rethrowNaming(path);
    }
}

FrameStages namingFailures(const FrameStages& stages, const Jobs& jobs) {
    FrameStages named = stages;
    named.read = [read = stages.read, &jobs](std::size_t index) {
        return naming(jobs[index].input, [&] { return read(index); });
    };
    named.render = [render = stages.render, &jobs](std::size_t index, Rendered& frame) {
        naming(jobs[index].input, [&] { render(index, frame); });
    };
    named.write = [write = stages.write, &jobs](std::size_t index, Rendered& frame) {
        naming(jobs[index].output, [&] { write(index, frame); });
    };
    return named;
}

[[noreturn]] void reportFailure(const PipelineOutcome& outcome, const Jobs& jobs,
                                const char* done) {
    try {
        std::rethrow_exception(outcome.failure);
    } catch (const std::runtime_error& e) {
        const Job job = jobs[outcome.failedIndex];
        if (!job.frame)
            throw;
        const std::string text =
            fmt::format("frame {}: {} (stopped; {} of {} frames {})", *job.frame, e.what(),
                        outcome.written, jobs.size(), done);
        if (dynamic_cast<const UsageError*>(&e))
            throw UsageError(text);
        const auto* failure = dynamic_cast<const RunError*>(&e);
        throw RunError(text, failure ? failure->path() : std::string(), job.frame,
                       failure ? failure->cause() : RunError::Cause::Other);
    }
}

} // namespace

bool isUnreadableFrame(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const UnreadableFrame&) {
        return true;
    } catch (...) {
        return false;
    }
}

PipelineOutcome runNamingFailures(const Jobs& jobs, const FrameStages& stages,
                                  const FrameSkipping& skipping, const std::string& input,
                                  const char* done) {
    PipelineOutcome outcome;
    try {
        outcome = runPipeline(jobs.size(), namingFailures(stages, jobs), skipping);
    } catch (const std::system_error& e) {
        throw RunError(fmt::format("{}: cannot render: out of memory or threads to start one ({})",
                                   input, e.what()),
                       input, std::nullopt, RunError::Cause::Memory);
    }
    if (outcome.failure)
        reportFailure(outcome, jobs, done);
    return outcome;
}

} // namespace umbrix
