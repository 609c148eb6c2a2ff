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
        throw RunError(head + ": out of memory");
    } catch (const std::exception& e) {
        throw RunError(fmt::format("{}: {}", head, oneLine(e.what())));
    }
}

} // namespace umbrix
