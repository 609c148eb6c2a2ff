#pragma once

#include "look/HttpMessage.h"
#include "look/HttpWire.h"

#include <boost/asio/io_context.hpp>
#include <functional>
#include <memory>

namespace umbrix::look {

using RequestHandler = std::function<HttpResponse(const HttpRequest&)>;

// HTTP/1.1 on loopback only (127.0.0.1, and ::1 where the system has it), every request answered
// by the handler on the io_context's thread.
class LookServer {
  public:
    // Listens on `port` (0: a free one, the same on both addresses). RunError when it cannot.
    LookServer(boost::asio::io_context& io, unsigned short port, ServerLimits limits,
               RequestHandler handler);
    ~LookServer();
    LookServer(const LookServer&) = delete;
    LookServer& operator=(const LookServer&) = delete;

    unsigned short port() const;

    // Asks the handler again about every answer that waits for a render; from any thread.
    void rendered();

    // What the server's connections share with it, and outlives it while they close.
    struct State;

  private:
    std::shared_ptr<State> Shared;
};

} // namespace umbrix::look
