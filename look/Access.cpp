#include "look/Access.h"

#include "app/Failure.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fmt/format.h>
#include <sys/random.h>

namespace umbrix::look {

namespace {

// Compares without stopping at the first difference, so that timing tells nothing of the token.
bool sameSecret(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    unsigned char difference = 0;
    for (std::size_t k = 0; k < a.size(); ++k)
        difference |= static_cast<unsigned char>(a[k] ^ b[k]);
    return difference == 0;
}

} // namespace

Access::Access(std::string token, unsigned short port) : Token(std::move(token)), Port(port) {}

std::string Access::newToken() {
    std::array<unsigned char, 16> bytes{};
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = getrandom(bytes.data() + got, bytes.size() - got, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw RunError(
                fmt::format("no random source for the page's token: {}", std::strerror(errno)));
        got += static_cast<std::size_t>(n);
    }
    std::string token;
    for (unsigned char byte : bytes)
        token += fmt::format("{:02x}", byte);
    return token;
}

bool Access::knownHost(const std::string& host) const {
    for (const char* name : {"127.0.0.1", "localhost", "[::1]"})
        if (host == fmt::format("{}:{}", name, Port))
            return true;
    return false;
}

bool Access::ownOrigin(const std::string& origin) const {
    return origin.rfind("http://", 0) == 0 && knownHost(origin.substr(7));
}

bool Access::hasToken(const HttpRequest& request) const {
    // In the address only where the browser loads the page and its own files: an address can
    // carry no header.
    const std::string path = targetPath(request.target);
    if (path == "/" || path == "/look.js" || path == "/look.css")
        if (const auto given = queryValue(request.target, "token"))
            return sameSecret(*given, Token);
    const std::string* given = request.header(TokenHeader);
    return given && sameSecret(*given, Token);
}

std::optional<HttpResponse> Access::refusal(const HttpRequest& request) const {
    const std::string* host = request.header("host");
    if (!host || !knownHost(*host))
        return textResponse(421, "this page answers only at its own address on this machine");
    if (!hasToken(request))
        return textResponse(403,
                            "open the page at the address umbrix look printed, with its token");
    if (request.method != "GET" && request.method != "HEAD") {
        const std::string* origin = request.header("origin");
        if (!origin || !ownOrigin(*origin))
            return textResponse(403, "changes are taken only from the page itself");
    }
    return std::nullopt;
}

std::optional<std::string> queryValue(const std::string& target, const std::string& name) {
    const std::size_t question = target.find('?');
    if (question == std::string::npos)
        return std::nullopt;
    std::size_t at = question + 1;
    while (at <= target.size()) {
        std::size_t end = target.find('&', at);
        if (end == std::string::npos)
            end = target.size();
        const std::string_view pair(target.data() + at, end - at);
        if (pair.size() > name.size() && pair.substr(0, name.size()) == name &&
            pair[name.size()] == '=')
            return std::string(pair.substr(name.size() + 1));
        at = end + 1;
    }
    return std::nullopt;
}

std::string targetPath(const std::string& target) {
    return target.substr(0, target.find('?'));
}

} // namespace umbrix::look
