#include "look/LookServer.h"

#include "app/Failure.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ip/v6_only.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <fmt/format.h>
#include <list>
#include <optional>

namespace umbrix::look {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

class Connection;

} // namespace

struct LookServer::State : std::enable_shared_from_this<LookServer::State> {
    asio::io_context& Io;
    ServerLimits Limits;
    RequestHandler Handler;
    std::vector<std::unique_ptr<tcp::acceptor>> Acceptors;
    std::list<std::weak_ptr<Connection>> Open;
    std::vector<std::shared_ptr<Connection>> Parked; // answers waiting for a render
    bool Stopped = false;

    State(asio::io_context& io, ServerLimits limits, RequestHandler handler)
        : Io(io), Limits(limits), Handler(std::move(handler)) {}

    void accept(tcp::acceptor& acceptor);
    void makeRoom();
    void wakeWaiting();
};

namespace {

class Connection : public std::enable_shared_from_this<Connection> {
  public:
    Connection(tcp::socket socket, std::shared_ptr<LookServer::State> state)
        : Stream(std::move(socket)), Server(std::move(state)) {}

    void start() { read(); }

    // Whether it is still sending a request (and may be dropped to make room).
    bool reading() const { return Reading; }

    void close() {
        beast::error_code ignored;
        Stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
        Stream.close();
    }

    void wake() { answer(); }

  private:
    beast::tcp_stream Stream;
    std::shared_ptr<LookServer::State> Server;
    beast::flat_buffer Buffer;
    std::optional<RequestParser> Parser;
    WireResponse Reply;
    HttpRequest Request;
    unsigned Version = 11;
    bool KeepAlive = false;
    bool Reading = false;

    void read() {
        // Buffer may hold the start of the next request already: a client need not wait for an
        // answer before it sends the next.
        startRequest(Parser, Server->Limits);
        Reading = true;
        Stream.expires_after(Server->Limits.idle);
        http::async_read(Stream, Buffer, *Parser,
                         [self = shared_from_this()](beast::error_code error, std::size_t) {
                             self->onRead(error);
                         });
    }

    void onRead(const beast::error_code& error) {
        Reading = false;
        if (error) {
            if (const auto status = refusalStatus(error))
                send(textResponse(*status, "bad request"), false);
            else
                close();
            return;
        }
        const WireRequest& message = Parser->get();
        Version = message.version();
        KeepAlive = message.keep_alive();
        Request = plainRequest(message);
        answer();
    }

    void answer() {
        HttpResponse response;
        try {
            response = Server->Handler(Request);
        } catch (const std::exception& e) {
            response = textResponse(500, e.what());
        }
        if (response.waitFor) {
            // A render may take longer than a client may idle; the client's own going away ends it.
            Stream.expires_never();
            Server->Parked.push_back(shared_from_this());
            return;
        }
        send(std::move(response), KeepAlive);
    }

    void send(HttpResponse response, bool keepAlive) {
        Reply = wireResponse(std::move(response), Version, keepAlive);
        Stream.expires_after(Server->Limits.idle);
        http::async_write(
            Stream, Reply,
            [self = shared_from_this(), keepAlive](beast::error_code error, std::size_t) {
                if (error || !keepAlive)
                    self->close();
                else
                    self->read();
            });
    }
};

} // namespace

void LookServer::State::makeRoom() {
    Open.remove_if([](const std::weak_ptr<Connection>& c) { return c.expired(); });
    if (Open.size() < Limits.connections)
        return;
    for (auto it = Open.begin(); it != Open.end(); ++it)
        if (auto connection = it->lock(); connection && connection->reading()) {
            connection->close();
            Open.erase(it);
            return;
        }
}

void LookServer::State::wakeWaiting() {
    std::vector<std::shared_ptr<Connection>> woken;
    woken.swap(Parked);
    for (const std::shared_ptr<Connection>& connection : woken)
        connection->wake();
}

void LookServer::State::accept(tcp::acceptor& acceptor) {
    acceptor.async_accept(
        [self = shared_from_this(), this, &acceptor](beast::error_code error, tcp::socket socket) {
            if (Stopped || error == asio::error::operation_aborted)
                return;
            if (!error) {
                makeRoom();
                if (Open.size() < Limits.connections) {
                    auto connection =
                        std::make_shared<Connection>(std::move(socket), shared_from_this());
                    Open.push_back(connection);
                    connection->start();
                }
            }
            accept(acceptor);
        });
}

namespace {

std::unique_ptr<tcp::acceptor> listening(asio::io_context& io, const tcp::endpoint& endpoint) {
    auto acceptor = std::make_unique<tcp::acceptor>(io);
    acceptor->open(endpoint.protocol());
    acceptor->set_option(asio::socket_base::reuse_address(true));
    if (endpoint.address().is_v6())
        acceptor->set_option(asio::ip::v6_only(true));
    acceptor->bind(endpoint);
    acceptor->listen(asio::socket_base::max_listen_connections);
    return acceptor;
}

} // namespace

LookServer::LookServer(asio::io_context& io, unsigned short port, ServerLimits limits,
                       RequestHandler handler)
    : Shared(std::make_shared<State>(io, limits, std::move(handler))) {
    try {
        Shared->Acceptors.push_back(
            listening(io, tcp::endpoint(asio::ip::address_v4::loopback(), port)));
    } catch (const boost::system::system_error& e) {
        throw RunError(
            fmt::format("cannot listen on 127.0.0.1 port {}: {}", port, e.code().message()));
    }
    // ::1 is a convenience: a system without it, or with the port taken there, still serves.
    try {
        Shared->Acceptors.push_back(
            listening(io, tcp::endpoint(asio::ip::address_v6::loopback(), this->port())));
    } catch (const boost::system::system_error&) {
    }
    for (const auto& acceptor : Shared->Acceptors)
        Shared->accept(*acceptor);
}

LookServer::~LookServer() {
    Shared->Stopped = true;
    beast::error_code ignored;
    for (const auto& acceptor : Shared->Acceptors)
        acceptor->close(ignored);
    for (const std::weak_ptr<Connection>& weak : Shared->Open)
        if (auto connection = weak.lock())
            connection->close();
    Shared->Parked.clear();
}

unsigned short LookServer::port() const {
    return Shared->Acceptors.front()->local_endpoint().port();
}

void LookServer::rendered() {
    asio::post(Shared->Io, [state = Shared] {
        if (!state->Stopped)
            state->wakeWaiting();
    });
}

} // namespace umbrix::look
