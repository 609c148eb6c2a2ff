#include "host/ScriptInfo.h"

#include "minihost/Internal.h"

#include <string>

ScriptInfo::ScriptInfo(unsigned long version, const char* className, const char* baseName,
                       const char* extra)
    : Version(version), ClassName(className), BaseName(baseName), Extra(extra) {
    minihost::detail::notifyLifecycle(std::string("ScriptInfo ") + ClassName);
}

ScriptInfo::~ScriptInfo() {
    minihost::detail::notifyLifecycle(std::string("~ScriptInfo ") + ClassName);
}
