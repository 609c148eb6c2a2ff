#include "app/files/SamePath.h"

#include <filesystem>
#include <system_error>

namespace umbrix {

bool samePath(const std::string& a, const std::string& b) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (fs::equivalent(a, b, error))
        return true;
    const fs::path first = fs::weakly_canonical(a, error);
    const bool known = !error;
    const fs::path second = fs::weakly_canonical(b, error);
    return known && !error ? first == second : a == b;
}

} // namespace umbrix
