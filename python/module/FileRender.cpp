#include "python/module/FileRender.h"

#include "app/Console.h"
#include "app/Failure.h"
#include "app/sequence/FrameSequence.h"

#include <fmt/format.h>

namespace umbrix::python {

namespace {

void requirePattern(const std::optional<std::string>& path, const char* what) {
    if (path && !hasFramePattern(*path))
        throw UsageError(fmt::format("--frames needs a frame number pattern (####, @ or %04d) in "
                                     "{}: {}",
                                     what, *path));
}

bool startsWithPath(const std::string& message, const std::string& path) {
    return message.size() > path.size() && message.compare(0, path.size(), path) == 0 &&
           message[path.size()] == ':';
}

// The file a failure names first, of those a frame reads and writes.
std::string fileNamed(const std::string& message, const RenderOptions& frame) {
    for (const std::optional<std::string>& path :
         {std::optional(frame.input), std::optional(frame.output), frame.preview})
        if (path && startsWithPath(message, *path))
            return *path;
    return {};
}

void renderOne(const RenderOptions& frame) {
    try {
        runRender(frame);
    } catch (const FileError&) {
        throw;
    } catch (const RunError& e) {
        throw FileError(e.what(), fileNamed(e.what(), frame));
    }
}

} // namespace

FileReport renderFiles(const RenderOptions& options, const std::function<void()>& betweenFrames) {
    FileReport report;
    if (!options.frames) {
        renderOne(options);
        if (!options.dryRun)
            report.written.push_back(options.output);
        return report;
    }
    const FrameList frames(*options.frames);
    requirePattern(options.input, "INPUT");
    requirePattern(options.output, "OUTPUT");
    requirePattern(options.preview, "--preview");
    for (std::size_t k = 0; k < frames.size(); ++k) {
        if (k > 0)
            betweenFrames();
        const int frame = frames[k];
        RenderOptions one = options;
        one.frames.reset();
        one.skipBadFrames = false;
        one.input = framePath(options.input, frame);
        one.output = framePath(options.output, frame);
        if (options.preview)
            one.preview = framePath(*options.preview, frame);
        try {
            renderOne(one);
        } catch (const FileError& e) {
            if (options.skipBadFrames && e.path == one.input) {
                console::warning(fmt::format("frame {}: {} (skipped)", frame, e.what()));
                report.skipped.push_back(frame);
                continue;
            }
            throw FileError(fmt::format("frame {}: {} (stopped; {} of {} frames {})", frame,
                                        e.what(), k - report.skipped.size(), frames.size(),
                                        options.dryRun ? "checked" : "written"),
                            e.path);
        } catch (const UsageError& e) {
            throw UsageError(fmt::format("frame {}: {}", frame, e.what()));
        }
        if (!options.dryRun)
            report.written.push_back(one.output);
    }
    return report;
}

} // namespace umbrix::python
