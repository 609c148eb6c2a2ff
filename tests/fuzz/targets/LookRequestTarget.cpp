// Bytes a client sends to the look page's server: read as the server reads them off a connection
// (up to four requests one after another), each answered by the page's handler over a real
// session on small frames, and the answer written out as the server writes it.

#include "app/Failure.h"
#include "look/HttpWire.h"
#include "look/LookService.h"
#include "look/LookSession.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/look/LookFixture.h"

#include <boost/asio/buffer.hpp>
#include <boost/asio/error.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/status.hpp>
#include <boost/beast/http/write.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <sstream>

namespace {

using namespace umbrix;
using namespace umbrix::look;
namespace http = boost::beast::http;

// The seeds carry these: Host 127.0.0.1:8123, and the token as a query or in the X-Umbrix-Token
// header.
constexpr unsigned short Port = 8123;
const char* const Token = "0123456789abcdef0123456789abcdef";
constexpr int MaxRequests = 4;
// A render of these frames takes milliseconds: an answer still waiting after this never comes.
constexpr std::chrono::seconds RenderBound{20};

// A connection's bytes as the socket hands them over: whatever has come, then its end.
class ClientBytes {
  public:
    ClientBytes(const std::uint8_t* data, std::size_t size) : Rest(data, size) {}

    template <class Buffers>
    std::size_t read_some(const Buffers& buffers, boost::system::error_code& error) {
        error = {};
        if (Rest.empty()) {
            error = boost::asio::error::eof;
            return 0;
        }
        const std::size_t n =
            boost::asio::buffer_copy(buffers, boost::asio::buffer(Rest.data(), Rest.size()));
        Rest = Rest.subspan(n);
        return n;
    }

    template <class Buffers> std::size_t read_some(const Buffers& buffers) {
        boost::system::error_code error;
        const std::size_t n = read_some(buffers, error);
        if (error)
            throw boost::system::system_error(error);
        return n;
    }

  private:
    std::span<const std::uint8_t> Rest;
};

// The page as `umbrix look` serves it, over a sequence of three small frames of which the second
// cannot be read; Save writes to the scratch folder.
class Page {
  public:
    Page() {
        FrameSource frames;
        frames.paths = {"shot.0001.exr", "shot.0002.exr", "shot.0003.exr"};
        frames.numbers = {1, 2, 3};
        frames.read = [](std::size_t index) -> std::shared_ptr<const Frame> {
            if (index == 1)
                throw RunError("shot.0002.exr: cannot read: No such file or directory");
            return std::make_shared<const Frame>(
                looktest::testFrame(24 + static_cast<int>(index), 16));
        };
        Session = std::make_unique<LookSession>(fuzzsupport::toolPath(), std::move(frames), [this] {
            std::lock_guard guard(Lock);
            Published.notify_all();
        });
        Session->start(std::make_shared<const Frame>(looktest::testFrame()));
        Service.emplace(*Session, Access(Token, Port),
                        LookService::Saving{fuzzsupport::scratchPath("saved.json"),
                                            "umbrix render shot.####.exr -o shot_ao.####.exr"});
        // Every input starts from the first picture, as the page does once loaded.
        FUZZ_CHECK(pictureOf(1));
    }

    // Whether anything an input did shows in what the next would see.
    bool changed() const { return Session->generation() != 1; }

    // Waits until the newest values are rendered or given up, so that an input ends with no
    // render under way: the leak check after it sees nothing in flight on the render thread.
    bool settle() {
        std::unique_lock guard(Lock);
        return Published.wait_for(guard, RenderBound, [&] {
            const RenderProgress now = Session->progress();
            const std::uint64_t newest = Session->generation();
            const auto picture = Session->picture();
            return now.generation == 0 &&
                   ((picture && picture->generation >= newest) || now.cancelled >= newest);
        });
    }

    // The answer as the server gives it: asked again after each render while it waits for one.
    // None while it waits for the picture of a change not yet made: the server keeps such a
    // request, and the connection behind it, until another page's change or the client's leaving.
    std::optional<HttpResponse> answer(const HttpRequest& request) {
        HttpResponse response = Service->handle(request);
        while (response.waitFor) {
            if (*response.waitFor > Session->generation())
                return std::nullopt;
            FUZZ_CHECK(pictureOf(*response.waitFor));
            response = Service->handle(request);
        }
        return response;
    }

  private:
    std::mutex Lock;
    std::condition_variable Published;
    std::unique_ptr<LookSession> Session;
    std::optional<LookService> Service;

    bool pictureOf(std::uint64_t generation) {
        std::unique_lock guard(Lock);
        return Published.wait_for(guard, RenderBound, [&] {
            const auto picture = Session->picture();
            return picture && picture->generation >= generation;
        });
    }
};

// One that the previous input left as it was, or a fresh one.
Page& freshPage() {
    // Keeps the tool's library loaded while pages come and go: the fuzzer's coverage of it must
    // stay mapped.
    fuzzsupport::tool();
    static std::unique_ptr<Page> page;
    if (!page || page->changed()) {
        page.reset();
        page = std::make_unique<Page>();
    }
    return *page;
}

void send(HttpResponse response, unsigned version, bool keepAlive) {
    FUZZ_CHECK(http::int_to_status(static_cast<unsigned>(response.status)) !=
               http::status::unknown);
    if (response.contentType == "application/json")
        FUZZ_CHECK(nlohmann::json::accept(response.body));
    std::ostringstream wire;
    wire << wireResponse(std::move(response), version, keepAlive);
    FUZZ_CHECK(wire.good());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Page& page = freshPage();
    ClientBytes client(data, size);
    boost::beast::flat_buffer buffer;
    std::optional<RequestParser> parser;
    unsigned version = 11;
    for (int k = 0; k < MaxRequests; ++k) {
        startRequest(parser, ServerLimits{});
        boost::beast::error_code error;
        http::read(client, buffer, *parser, error);
        if (error) {
            if (const auto status = refusalStatus(error))
                send(textResponse(*status, "bad request"), version, false);
            break;
        }
        const WireRequest& message = parser->get();
        version = message.version();
        const bool keepAlive = message.keep_alive();
        const std::optional<HttpResponse> response = page.answer(plainRequest(message));
        if (!response)
            break;
        send(*response, version, keepAlive);
        if (!keepAlive)
            break;
    }
    FUZZ_CHECK(page.settle());
    return 0;
}
