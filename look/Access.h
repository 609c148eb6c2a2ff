#pragma once

#include "look/HttpMessage.h"

#include <optional>
#include <string>

namespace umbrix::look {

// Who may use the page: whoever holds the token printed with its address. The page's own requests
// carry it in a header, which no other site can make a browser send; never in a cookie, which a
// browser would send to every port of this machine.
class Access {
  public:
    Access(std::string token, unsigned short port);

    // 128 bits from the system's random source, as 32 hex digits. RunError when there is none.
    static std::string newToken();

    const std::string& token() const { return Token; }
    unsigned short port() const { return Port; }

    // The refusal of a request not from the page's own user, or nothing when it may go on:
    // a Host other than the loopback with our port (a rebound name), no token (in the header, or
    // in the address of a page, script or style the browser loads), or a change sent without our
    // own Origin (another site's form or script).
    std::optional<HttpResponse> refusal(const HttpRequest& request) const;

  private:
    std::string Token;
    unsigned short Port;

    bool knownHost(const std::string& host) const;
    bool ownOrigin(const std::string& origin) const;
    bool hasToken(const HttpRequest& request) const;
};

// The value of `name` in a target's query string, undecoded; nothing when absent.
// The header the page's requests carry the token in.
inline constexpr const char* TokenHeader = "x-umbrix-token";

std::optional<std::string> queryValue(const std::string& target, const std::string& name);
// The target without its query.
std::string targetPath(const std::string& target);

} // namespace umbrix::look
