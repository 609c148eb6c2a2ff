#include "look/LookServer.h"

#include <atomic>
#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace asio = boost::asio;
namespace http = boost::beast::http;
using tcp = asio::ip::tcp;
using namespace umbrix::look;

// A server on a free port, answering on its own thread: "ok" to GET /, and to GET /wait once
// `Ready` is set and the server told.
class ServerTest : public ::testing::Test {
  protected:
    ServerLimits Limits{4096, 4096, 8, std::chrono::milliseconds(2000)};
    asio::io_context Io;
    std::atomic<bool> Ready{false};
    std::unique_ptr<LookServer> Server;
    std::thread Thread;

    void SetUp() override {
        Server = std::make_unique<LookServer>(Io, 0, Limits, [this](const HttpRequest& request) {
            HttpResponse response = textResponse(200, "ok " + request.body);
            if (request.target == "/wait" && !Ready)
                response.waitFor = 1;
            return response;
        });
        Thread = std::thread([this] { Io.run(); });
    }

    void TearDown() override {
        asio::post(Io, [this] {
            Server.reset();
            Io.stop();
        });
        Thread.join();
    }

    tcp::socket connected() {
        tcp::socket socket(Client);
        socket.connect({asio::ip::address_v4::loopback(), Server->port()});
        return socket;
    }

    // Sends `bytes` and reads one answer; nothing when the server closes without one.
    std::optional<http::response<http::string_body>> exchange(tcp::socket& socket,
                                                              const std::string& bytes) {
        asio::write(socket, asio::buffer(bytes));
        boost::beast::flat_buffer buffer;
        http::response<http::string_body> response;
        boost::beast::error_code error;
        http::read(socket, buffer, response, error);
        if (error)
            return std::nullopt;
        return response;
    }

    std::optional<http::response<http::string_body>> properRequest() {
        tcp::socket socket = connected();
        return exchange(socket, "GET / HTTP/1.1\r\nHost: x\r\n\r\n");
    }

    asio::io_context Client;
};

TEST_F(ServerTest, AnswersWithTheHeadersThatKeepThePageToItself) {
    const auto response = properRequest();
    ASSERT_TRUE(response);
    EXPECT_EQ(response->result_int(), 200);
    EXPECT_EQ(response->body(), "ok \n");
    EXPECT_EQ((*response)["Content-Security-Policy"], "default-src 'self'; frame-ancestors 'none'");
    EXPECT_EQ((*response)["X-Content-Type-Options"], "nosniff");
    EXPECT_EQ((*response)["Cache-Control"], "no-store");
    EXPECT_EQ(response->count("Access-Control-Allow-Origin"), 0U);
}

TEST_F(ServerTest, RefusesWhatIsNotABoundedRequestAndGoesOnServing) {
    struct Case {
        const char* what;
        std::string bytes;
        int status;
    };
    const Case cases[] = {
        {"junk", std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n\r\n", 15), 400},
        {"a header too large",
         "GET / HTTP/1.1\r\nHost: x\r\nX: " + std::string(5000, 'a') + "\r\n\r\n", 431},
        {"a body too large", "POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 5000\r\n\r\n", 413},
        {"a request line too long", "GET /" + std::string(5000, 'a') + " HTTP/1.1\r\n\r\n", 431},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        tcp::socket socket = connected();
        const auto response = exchange(socket, c.bytes);
        ASSERT_TRUE(response);
        EXPECT_EQ(response->result_int(), c.status);
        EXPECT_TRUE(properRequest());
    }
}

TEST_F(ServerTest, AnswersRequestsSentTogetherAndNothingOnceTheClientIsDone) {
    tcp::socket socket = connected();
    asio::write(socket, asio::buffer(std::string("GET / HTTP/1.1\r\nHost: x\r\n\r\n"
                                                 "POST / HTTP/1.1\r\nHost: x\r\n"
                                                 "Content-Length: 3\r\n\r\ntwo")));
    socket.shutdown(tcp::socket::shutdown_send);
    std::vector<std::string> answers;
    boost::beast::flat_buffer buffer;
    for (;;) {
        http::response<http::string_body> response;
        boost::beast::error_code error;
        http::read(socket, buffer, response, error);
        if (error)
            break;
        answers.push_back(std::to_string(response.result_int()) + " " + response.body());
    }
    EXPECT_EQ(answers, (std::vector<std::string>{"200 ok \n", "200 ok two\n"}));
}

TEST_F(ServerTest, SlowClientsCannotHoldIt) {
    // Far more half-sent requests than it takes connections: the newest pushes out the oldest.
    std::vector<tcp::socket> slow;
    for (int k = 0; k < 50; ++k) {
        slow.push_back(connected());
        asio::write(slow.back(), asio::buffer(std::string("GET / HTTP/1.1\r\nHo")));
    }
    const auto response = properRequest();
    ASSERT_TRUE(response);
    EXPECT_EQ(response->result_int(), 200);
    // One that stays silent past the idle time is dropped: its read ends.
    boost::beast::error_code error;
    char byte = 0;
    asio::read(slow.back(), asio::buffer(&byte, 1), error);
    EXPECT_TRUE(error);
}

TEST_F(ServerTest, AnAnswerWaitsForTheRenderItNeeds) {
    tcp::socket socket = connected();
    asio::write(socket, asio::buffer(std::string("GET /wait HTTP/1.1\r\nHost: x\r\n\r\n")));
    EXPECT_TRUE(properRequest()); // others are answered meanwhile
    Ready = true;
    Server->rendered();
    boost::beast::flat_buffer buffer;
    http::response<http::string_body> response;
    http::read(socket, buffer, response);
    EXPECT_EQ(response.result_int(), 200);
}

} // namespace
