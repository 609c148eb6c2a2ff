#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace umbrix::look {

// A request as the page's handler sees it, apart from any socket: header names in lower case.
struct HttpRequest {
    std::string method;
    std::string target; // path and query, as sent
    std::map<std::string, std::string> headers;
    std::string body;

    const std::string* header(const std::string& lowerName) const;
};

struct HttpResponse {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers; // beyond the ones every answer has
    // Set when the answer must wait until the render of this generation (or a newer one) is done:
    // the server asks the handler again then, and answers nothing meanwhile.
    std::optional<std::uint64_t> waitFor;
};

// The headers every answer carries: nothing runs but the page's own files, nothing is kept.
std::vector<std::pair<std::string, std::string>> commonHeaders();

HttpResponse textResponse(int status, std::string text);

} // namespace umbrix::look
