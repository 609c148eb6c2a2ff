#include "app/Failure.h"

#include <algorithm>
#include <exception>
#include <fmt/format.h>
#include <new>

namespace umbrix {

std::string oneLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    std::replace(text.begin(), text.end(), '\n', ' ');
    // A library quotes what a file holds, and a file can hold what would drive a terminal.
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    return text.empty() ? "unknown error" : text;
}

void rethrowNaming(const std::string& path, std::string_view doing) {
    const std::string head = doing.empty() ? path : fmt::format("{}: {}", path, doing);
    try {
        throw;
    } catch (const UsageError&) {
        throw;
    } catch (const RunError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw RunError(head + ": out of memory", path, std::nullopt, RunError::Cause::Memory);
    } catch (const std::exception& e) {
        // A library that turns a failed allocation into its own error keeps its name in words.
        std::string text = oneLine(e.what());
        const auto at = text.find("std::bad_alloc");
        if (at != std::string::npos)
            text.replace(at, std::string_view("std::bad_alloc").size(), "out of memory");
        throw RunError(fmt::format("{}: {}", head, text), path, std::nullopt,
                       at != std::string::npos ? RunError::Cause::Memory : RunError::Cause::Other);
    }
}

} // namespace umbrix
