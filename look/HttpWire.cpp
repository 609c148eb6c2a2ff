#include "look/HttpWire.h"

#include <algorithm>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/field.hpp>
#include <boost/beast/http/status.hpp>
#include <cctype>
#include <cstdint>
#include <string>

namespace umbrix::look {

namespace http = boost::beast::http;

void startRequest(std::optional<RequestParser>& parser, const ServerLimits& limits) {
    parser.emplace();
    parser->header_limit(static_cast<std::uint32_t>(limits.headerBytes));
    parser->body_limit(limits.bodyBytes);
}

HttpRequest plainRequest(const WireRequest& message) {
    HttpRequest request;
    request.method = std::string(message.method_string());
    request.target = std::string(message.target());
    for (const auto& field : message) {
        std::string name(field.name_string());
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        // A repeated header could say one thing to a check and another to its use: it says
        // nothing.
        const auto [at, fresh] = request.headers.emplace(name, std::string(field.value()));
        if (!fresh)
            at->second.clear();
    }
    request.body = message.body();
    return request;
}

std::optional<int> refusalStatus(const boost::beast::error_code& error) {
    // The client closed the connection between requests: it is done.
    if (error == http::error::end_of_stream)
        return std::nullopt;
    if (error == http::error::header_limit)
        return 431;
    if (error == http::error::body_limit)
        return 413;
    if (&error.category() == &http::make_error_code(http::error::bad_target).category())
        return 400;
    return std::nullopt;
}

WireResponse wireResponse(HttpResponse answer, unsigned version, bool keepAlive) {
    WireResponse message{static_cast<http::status>(answer.status), version};
    message.set(http::field::server, "umbrix");
    message.set(http::field::content_type, answer.contentType);
    for (const auto& [name, value] : commonHeaders())
        message.set(name, value);
    for (const auto& [name, value] : answer.headers)
        message.set(name, value);
    message.body() = std::move(answer.body);
    message.keep_alive(keepAlive);
    message.prepare_payload();
    return message;
}

} // namespace umbrix::look
