#pragma once

#include "look/HttpMessage.h"

#include <boost/beast/core/error.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>
#include <chrono>
#include <cstddef>
#include <optional>

// Requests as they come off a connection and answers as they go onto it, apart from the socket.
namespace umbrix::look {

// What one client may take of the server. A request's line and headers, and its body, are small
// for this page; a slow or silent client is dropped, and past the limit of connections the oldest
// one still sending its request makes way for a new one.
struct ServerLimits {
    std::size_t headerBytes = 4096;
    std::size_t bodyBytes = 4096;
    std::size_t connections = 32;
    std::chrono::milliseconds idle{10000};
};

using WireRequest = boost::beast::http::request<boost::beast::http::string_body>;
using WireResponse = boost::beast::http::response<boost::beast::http::string_body>;
using RequestParser = boost::beast::http::request_parser<boost::beast::http::string_body>;

// A fresh parser for the next request of a connection, held to the limits.
void startRequest(std::optional<RequestParser>& parser, const ServerLimits& limits);

// The request as the handler takes it.
HttpRequest plainRequest(const WireRequest& message);

// The status a request that could not be read gets; nothing when the connection just closes.
std::optional<int> refusalStatus(const boost::beast::error_code& error);

// The answer as sent, with the headers every answer carries.
WireResponse wireResponse(HttpResponse answer, unsigned version, bool keepAlive);

} // namespace umbrix::look
