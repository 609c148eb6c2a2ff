#include "app/core/WritingOver.h"

#include "app/Failure.h"
#include "app/files/SamePath.h"

#include <fmt/format.h>

namespace umbrix {

void refuseWritingOver(const char* option, const std::string& path, const char* written,
                       const NamedFiles& files) {
    for (const auto& [file, what] : files)
        if (samePath(path, file))
            throw UsageError(fmt::format("{} {}: the same file as {}, which the {} would replace",
                                         option, path, what, written));
}

} // namespace umbrix
