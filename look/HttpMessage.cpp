#include "look/HttpMessage.h"

namespace umbrix::look {

const std::string* HttpRequest::header(const std::string& lowerName) const {
    const auto found = headers.find(lowerName);
    return found == headers.end() ? nullptr : &found->second;
}

std::vector<std::pair<std::string, std::string>> commonHeaders() {
    return {{"Content-Security-Policy", "default-src 'self'; frame-ancestors 'none'"},
            {"X-Content-Type-Options", "nosniff"},
            {"Cache-Control", "no-store"},
            {"Referrer-Policy", "no-referrer"},
            {"X-Frame-Options", "DENY"}};
}

HttpResponse textResponse(int status, std::string text) {
    return {status, "text/plain; charset=utf-8", std::move(text) + "\n", {}, std::nullopt};
}

} // namespace umbrix::look
