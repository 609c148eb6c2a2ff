#include "look/LookService.h"

#include "app/core/ControlList.h"
#include "app/core/ControlSetting.h"
#include "app/core/FrameSource.h"
#include "app/core/Preview.h"
#include "app/core/Tool.h"
#include "app/images/ToolSession.h"
#include "tests/app/ExrFiles.h"
#include "tests/look/LookFixture.h"

#include <bit>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>
#include <functional>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <thread>

namespace {

using namespace umbrix;
using namespace umbrix::look;
using Json = nlohmann::json;

constexpr unsigned short Port = 8123;
const std::string Token = "0123456789abcdef0123456789abcdef";
const std::string Host = fmt::format("127.0.0.1:{}", Port);
const std::string Origin = fmt::format("http://127.0.0.1:{}", Port);

HttpRequest get(const std::string& target) {
    return {"GET", target, {{"host", Host}, {TokenHeader, Token}}, {}};
}

HttpRequest post(const std::string& target, const std::string& body) {
    return {"POST", target, {{"host", Host}, {TokenHeader, Token}, {"origin", Origin}}, body};
}

HttpRequest without(HttpRequest request, const std::string& header) {
    request.headers.erase(header);
    return request;
}

HttpRequest with(HttpRequest request, const std::string& header, const std::string& value) {
    request.headers[header] = value;
    return request;
}

class LookServiceTest : public ::testing::Test {
  protected:
    looktest::SessionFixture Fixture;
    LookService Service{Fixture.session(), Access(Token, Port), {std::nullopt, {}}};

    HttpResponse answer(const HttpRequest& request) { return Service.handle(request); }
    void fixturePicture() { Fixture.pictureOf(1); }

    Json answerJson(const HttpRequest& request) {
        const HttpResponse response = answer(request);
        EXPECT_EQ(response.status, 200) << request.target << ": " << response.body;
        return Json::parse(response.body);
    }

    // Sets controls as the page does, and waits for the picture that shows them.
    std::shared_ptr<const Picture>
    changed(const std::vector<std::pair<std::string, Json>>& values) {
        std::uint64_t generation = 0;
        for (const auto& [id, value] : values)
            generation = answerJson(post("/api/control", Json{{"id", id}, {"value", value}}.dump()))
                             .at("generation");
        return Fixture.pictureOf(generation);
    }
};

// The tool's output for the test frame with these values, rendered the way `umbrix render` does.
minihost::ImagePtr directRender(const std::vector<std::pair<std::string, double>>& values) {
    const Tool tool(UMBRIX_PLUGIN_PATH);
    ControlValues chosen = tool.defaults();
    for (const auto& [id, value] : values)
        chosen.set(id, value, id);
    return tool.render(std::make_shared<const Frame>(looktest::testFrame()), chosen, 1.0).image;
}

void expectSameBits(const Image& shown, const Image& rendered) {
    ASSERT_EQ(shown.Width, rendered.Width);
    ASSERT_EQ(shown.Height, rendered.Height);
    for (int y = 0; y < shown.Height; ++y)
        for (int x = 0; x < shown.Width; ++x)
            for (int channel = 0; channel < 4; ++channel)
                ASSERT_EQ(std::bit_cast<std::uint32_t>(minihost::sample(shown, x, y, channel)),
                          std::bit_cast<std::uint32_t>(minihost::sample(rendered, x, y, channel)))
                    << x << ", " << y << " channel " << channel;
}

TEST_F(LookServiceTest, RefusesWhoeverIsNotThePageItself) {
    struct Case {
        const char* what;
        HttpRequest request;
        int status;
    };
    const std::string tokenQuery = "/?token=" + Token;
    const Case cases[] = {
        {"token in the address", without(get(tokenQuery), TokenHeader), 200},
        {"the script with the token in its address",
         without(get("/look.js?token=" + Token), TokenHeader), 200},
        {"token in the header", get("/api/state"), 200},
        {"localhost", with(get("/api/state"), "host", fmt::format("localhost:{}", Port)), 200},
        {"::1", with(get("/api/state"), "host", fmt::format("[::1]:{}", Port)), 200},
        {"no token", without(get("/api/state"), TokenHeader), 403},
        {"another token", without(get("/?token=" + std::string(32, '0')), TokenHeader), 403},
        {"a token one digit short", without(get("/?token=" + Token.substr(1)), TokenHeader), 403},
        {"another token in the header", with(get("/api/state"), TokenHeader, Token.substr(1) + "0"),
         403},
        {"the token in a cookie",
         with(without(get("/api/state"), TokenHeader), "cookie",
              fmt::format("umbrix-look-{}={}; token={}", Port, Token, Token)),
         403},
        {"the token in a request's address", without(get("/api/state?token=" + Token), TokenHeader),
         403},
        {"no Host", without(get("/api/state"), "host"), 421},
        {"a rebound name", with(get("/api/state"), "host", fmt::format("evil.test:{}", Port)), 421},
        {"another port", with(get("/api/state"), "host", "127.0.0.1:80"), 421},
        {"a change without Origin",
         without(post("/api/control", R"({"id":"Matrix","value":6})"), "origin"), 403},
        {"a change from another site",
         with(post("/api/control", R"({"id":"Matrix","value":6})"), "origin", "http://evil.test"),
         403},
        {"a change from another port",
         with(post("/api/control", R"({"id":"Matrix","value":6})"), "origin",
              "http://127.0.0.1:80"),
         403},
        {"a change from the page", post("/api/control", R"({"id":"Matrix","value":6})"), 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(answer(c.request).status, c.status);
    }
}

// A cookie for 127.0.0.1 goes to every port of the machine, another user's server included.
TEST_F(LookServiceTest, SetsNoCookie) {
    fixturePicture();
    for (const HttpRequest& request :
         {without(get("/?token=" + Token), TokenHeader), get("/look.js"), get("/look.css"),
          get("/api/state"), get("/api/result?generation=1"), get("/api/pixels?view=normals"),
          get("/api/probe?x=1&y=1"), post("/api/control", R"({"id":"Matrix","value":6})"),
          post("/api/reset", "{}"), post("/api/about", "{}"), post("/api/save", "{}"),
          get("/nothing"), without(get("/"), TokenHeader)})
        for (const auto& [name, value] : answer(request).headers)
            EXPECT_NE(name, "Set-Cookie") << request.target << ": " << value;
}

TEST_F(LookServiceTest, AnswersBadRequestsWithTheirCause) {
    struct Case {
        const char* what;
        HttpRequest request;
        int status;
        const char* saying; // part of the error, when there is one
    };
    const Case cases[] = {
        {"an unknown path", get("/etc/passwd"), 404, ""},
        {"a path up", get("/../look.js"), 404, ""},
        {"a change by GET", get("/api/control"), 405, ""},
        {"a state by POST", post("/api/state", "{}"), 405, ""},
        {"a long target", get("/api/state?" + std::string(LookService::MaxTarget, 'x')), 414, ""},
        {"a large body", post("/api/control", std::string(LookService::MaxBody + 1, ' ')), 413, ""},
        {"a body that is not JSON", post("/api/control", "Matrix=6"), 400, "a control change is"},
        {"a value that is not a number", post("/api/control", R"({"id":"Matrix","value":"six"})"),
         400, "Matrix: 'six' is not a number"},
        {"a value of no kind", post("/api/control", R"({"id":"Matrix","value":[6]})"), 400,
         "is not a number"},
        {"an unknown identifier", post("/api/control", R"({"id":"Matrx","value":6})"), 400,
         "did you mean 'Matrix'?"},
        {"the button as a value", post("/api/control", R"({"id":"About","value":1})"), 400,
         "not a value"},
        {"a reset of no control", post("/api/reset", R"({"id":"Nothing"})"), 400, "no control"},
        {"a frame past the last", post("/api/frame", R"({"index":3})"), 400, "0 to 2"},
        {"a frame that is not a number", post("/api/frame", R"({"index":"1"})"), 400, "index"},
        {"a view of nothing", get("/api/pixels?view=all"), 400, "view"},
        {"a channel of no name", get("/api/pixels?channel=Q"), 400, "channel"},
        {"a depth range with one end", get("/api/pixels?view=depth&low=1"), 400, "both"},
        {"a depth range of no number", get("/api/pixels?view=depth&low=1&high=x"), 400, "both"},
        {"a part outside", get("/api/pixels?view=depth&x=20&y=0&w=5&h=4"), 400, "a part of"},
        {"a part without its height", get("/api/pixels?view=depth&x=0&y=0&w=5"), 400, "a part of"},
        {"an empty part", get("/api/pixels?view=depth&x=0&y=0&w=0&h=4"), 400, "a part of"},
        {"a part at a negative place", get("/api/pixels?channel=R&x=-1&y=0&w=4&h=4"), 400,
         "a part of"},
        {"a size above the part's",
         get("/api/pixels?view=normals&x=0&y=0&w=8&h=8&width=9&height=8"), 400,
         "to the part's 8x8"},
        {"a huge size", get("/api/pixels?view=normals&width=4000000000&height=4000000000"), 400,
         "the size sent"},
        {"a size of one side", get("/api/pixels?view=normals&width=4"), 400, "the size sent"},
        {"a picture never kept", get("/api/pixels?view=normals&kept=1"), 404, "kept"},
        {"a kept picture of no number", get("/api/pixels?view=normals&kept=abc"), 400, "kept"},
        {"a keep of a picture not shown", post("/api/keep", R"({"generation":7})"), 409, "newest"},
        {"a probe outside", get("/api/probe?x=24&y=0"), 400, "pixel"},
        {"a probe at no number", get("/api/probe?x=1e1&y=0"), 400, "pixel"},
        {"a generation not yet given", get("/api/result?generation=99"), 400, "generation"},
        {"a save of no picture", post("/api/save", "{}"), 400, "generation"},
        {"a save of a picture not shown", post("/api/save", R"({"generation":7})"), 409, "newest"},
    };
    fixturePicture();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const HttpResponse response = answer(c.request);
        EXPECT_EQ(response.status, c.status);
        EXPECT_NE(response.body.find(c.saying), std::string::npos) << response.body;
    }
    // Nothing above changed a control.
    EXPECT_EQ(Fixture.session().generation(), 1U);
}

TEST_F(LookServiceTest, ShowsTheControlsAsTheToolDeclaresThemWithTheirValues) {
    answerJson(post("/api/control", R"({"id":"matrix","value":" 7 "})"));
    const Json state = answerJson(get("/api/state"));
    Json declared = Json::parse(controlsJson(Fixture.session().controls()));
    ASSERT_EQ(state.at("controls").size(), declared.size());
    for (std::size_t k = 0; k < declared.size(); ++k) {
        Json control = state.at("controls")[k];
        const Json value = control.at("value");
        control.erase("value");
        EXPECT_EQ(control, declared[k]);
        if (control.at("id") == "Matrix") {
            EXPECT_EQ(value, 7.0);
        } else if (control.at("kind") != "button") {
            EXPECT_EQ(value, control.at("default")) << control.at("id");
        }
    }
    EXPECT_EQ(state.at("frames"), Json::array({"1", "2", "3"}));
}

TEST_F(LookServiceTest, RendersWhatTheCommandLineWouldToTheBit) {
    const auto picture = changed({{"UseSSAO", "on"},
                                  {"Matrix", 3},
                                  {"Amount", "0.05"},
                                  {"DepthThreshold", 0.5},
                                  {"FilterMethod", "Calculated Normals"}});
    const auto rendered = directRender({{"UseSSAO", 1.0},
                                        {"Matrix", 3.0},
                                        {"Amount", 0.05},
                                        {"DepthThreshold", 0.5},
                                        {"FilterMethod", 1.0}});
    expectSameBits(*picture->result, *rendered);
    const Json probe = answerJson(get("/api/probe?x=5&y=4"));
    EXPECT_EQ(probe.at("generation"), picture->generation);
    const char* names[] = {"R", "G", "B", "A"};
    for (int channel = 0; channel < 4; ++channel)
        EXPECT_EQ(probe.at("values").at(names[channel]).at("bits"),
                  fmt::format("{:08x}", std::bit_cast<std::uint32_t>(
                                            minihost::sample(*rendered, 5, 4, channel))));
    EXPECT_EQ(probe.at("values").at("depth").at("bits"),
              fmt::format("{:08x}", std::bit_cast<std::uint32_t>(
                                        minihost::sample(*looktest::testFrame().image, 5, 4, 4))));
}

// The depth menu renders the depth read as --depth reads it, and Save keeps the convention.
TEST_F(LookServiceTest, RendersTheDepthAsTheConventionChosenReadsIt) {
    const Tool tool(UMBRIX_PLUGIN_PATH);
    const ControlValues defaults = tool.defaults();
    for (const char* depth : {"inverse", "normalized:1:4", "distance", "z"}) {
        SCOPED_TRACE(depth);
        const std::uint64_t generation =
            answerJson(post("/api/depth", Json{{"depth", depth}}.dump())).at("generation");
        const auto picture = Fixture.pictureOf(generation);
        auto frame = std::make_shared<Frame>(looktest::testFrame());
        convertDepth(*frame, parseDepthConvention(depth), defaults[control::CamFOV]);
        expectSameBits(*picture->result, *tool.render(frame, defaults, 1.0).image);
        const Json saved = Json::parse(
            answerJson(post("/api/save", Json{{"generation", picture->generation}}.dump()))
                .at("settings")
                .get<std::string>());
        EXPECT_EQ(saved.value("depth", "z"), depth);
        EXPECT_EQ(answerJson(get("/api/state")).at("depth"), depth);
    }
    for (const Json& bad : {Json("zed"), Json("normalized:4:1"), Json(3)})
        EXPECT_EQ(answer(post("/api/depth", Json{{"depth", bad}}.dump())).status, 400) << bad;
}

TEST_F(LookServiceTest, AStormOfChangesEndsShowingTheNewestValues) {
    std::vector<std::pair<std::string, Json>> storm = {{"UseSSAO", 1}};
    for (int k = 0; k < 40; ++k)
        storm.emplace_back(k % 2 ? "Matrix" : "Amount", k % 2 ? Json(1 + k % 7) : Json(0.01 * k));
    const auto picture = changed(storm);
    EXPECT_EQ(picture->generation, Fixture.session().generation());
    expectSameBits(
        *picture->result,
        *directRender({{"UseSSAO", 1.0}, {"Matrix", 1 + 39 % 7}, {"Amount", 0.01 * 38}}));
}

TEST_F(LookServiceTest, AFrameThatCannotBeReadShowsWhyAndTheOthersStayUsable) {
    std::uint64_t generation = answerJson(post("/api/frame", R"({"index":1})")).at("generation");
    Fixture.pictureOf(generation);
    Json result = answerJson(get(fmt::format("/api/result?generation={}", generation)));
    EXPECT_EQ(result.at("frame"), 1);
    EXPECT_EQ(result.at("error"), "shot.0002.exr: cannot read: No such file or directory");
    EXPECT_EQ(answer(get("/api/pixels?view=normals")).status, 404);

    generation = answerJson(post("/api/frame", R"({"index":2})")).at("generation");
    Fixture.pictureOf(generation);
    result = answerJson(get(fmt::format("/api/result?generation={}", generation)));
    EXPECT_FALSE(result.contains("error"));
    EXPECT_EQ(result.at("width"), 26);
    EXPECT_EQ(answer(get("/api/pixels?view=depth")).body.size(), 26U * 16U * 4U);
}

TEST_F(LookServiceTest, ShowsTheViewsAsThePreviewDoes) {
    const auto picture = changed({{"UseSSAO", 1}});
    const PreviewPicture preview = previewPicture(*picture->result);
    const std::string normals = answer(get("/api/pixels?view=normals")).body;
    const std::string occlusion = answer(get("/api/pixels?view=occlusion")).body;
    const std::string depth = answer(get("/api/pixels?view=depth")).body;
    const int width = picture->result->Width;
    for (int y = 0; y < picture->result->Height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                const auto at = static_cast<std::size_t>((y * width + x) * 4 + c);
                const auto left = static_cast<std::size_t>((y * 2 * width + x) * 3 + c);
                const auto right = static_cast<std::size_t>((y * 2 * width + width + x) * 3 + c);
                ASSERT_EQ(static_cast<std::uint8_t>(normals[at]), preview.rgb[left]);
                ASSERT_EQ(static_cast<std::uint8_t>(occlusion[at]), preview.rgb[right]);
            }
    // The NaN depth at (3, 2) is magenta.
    const auto pixel = [&](int x, int y) {
        return depth.substr(static_cast<std::size_t>((y * width + x) * 4), 4);
    };
    EXPECT_EQ(pixel(3, 2), std::string("\xff\x00\xff\xff", 4));
}

// Any channel alone, by the probe's names for the result's and the file's own for the others, and
// the depth over a range the page chooses.
TEST_F(LookServiceTest, ShowsOneChannelOrTheDepthOverARange) {
    const auto picture = changed({{"UseSSAO", 1}});
    const Json facts =
        answerJson(get(fmt::format("/api/result?generation={}", picture->generation)));
    EXPECT_EQ(facts.at("channels"), Json::array({"R", "G", "B", "A", "Z"}));
    const Frame source = looktest::testFrame();
    const Image& depthImage = *source.image;
    struct Case {
        const char* target;
        std::function<float(int, int)> value;
        float low, high;
    };
    const Case cases[] = {
        {"/api/pixels?channel=A",
         [&](int x, int y) { return minihost::sample(*picture->result, x, y, 3); }, 0.0f, 1.0f},
        {"/api/pixels?channel=R",
         [&](int x, int y) { return minihost::sample(*picture->result, x, y, 0); }, 0.0f, 1.0f},
        {"/api/pixels?channel=Z",
         [&](int x, int y) { return minihost::sample(depthImage, x, y, 4); }, 0.0f, 1.0f},
        {"/api/pixels?view=depth&low=2.25&high=3.5",
         [&](int x, int y) { return minihost::sample(depthImage, x, y, 4); }, 2.25f, 3.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        const HttpResponse response = answer(get(c.target));
        ASSERT_EQ(response.status, 200) << response.body;
        const int width = picture->result->Width;
        for (int y = 0; y < picture->result->Height; ++y)
            for (int x = 0; x < width; ++x) {
                const float v = c.value(x, y);
                const std::string expected =
                    std::isnan(v)
                        ? std::string("\xff\x00\xff\xff", 4)
                        : std::string(
                              3, static_cast<char>(previewByte((v - c.low) / (c.high - c.low)))) +
                              "\xff";
                ASSERT_EQ(response.body.substr(static_cast<std::size_t>((y * width + x) * 4), 4),
                          expected)
                    << x << ", " << y;
            }
    }
}

// A part of the picture, at its size or reduced: each pixel sent the average of the colours of
// the part's pixels under it (exactly, where the part is a whole multiple of the size sent),
// magenta over any NaN.
TEST_F(LookServiceTest, SendsAPartOfThePictureAtTheSizeAsked) {
    changed({{"UseSSAO", 1}});
    struct Case {
        const char* view;
        int x, y, w, h, width, height;
        bool nan; // the part holds a NaN: the depth's at (3, 2), or a normal made from it
    };
    const Case cases[] = {
        {"view=normals", 5, 3, 10, 7, 10, 7, false}, {"view=occlusion", 0, 0, 24, 16, 12, 8, false},
        {"view=normals", 4, 2, 12, 8, 4, 2, true},   {"view=depth", 0, 0, 24, 16, 12, 8, true},
        {"view=depth", 0, 0, 24, 16, 3, 2, true},    {"channel=A", 1, 1, 23, 15, 10, 6, false},
        {"view=depth", 2, 1, 19, 13, 7, 5, true},
    };
    for (const Case& c : cases) {
        const std::string target =
            fmt::format("/api/pixels?{}&x={}&y={}&w={}&h={}&width={}&height={}", c.view, c.x, c.y,
                        c.w, c.h, c.width, c.height);
        SCOPED_TRACE(target);
        const std::string full = answer(get(fmt::format("/api/pixels?{}", c.view))).body;
        const HttpResponse response = answer(get(target));
        ASSERT_EQ(response.status, 200) << response.body;
        ASSERT_EQ(response.headers.back().first, "X-Umbrix-Part");
        EXPECT_EQ(response.headers.back().second,
                  fmt::format("{},{},{},{},{},{}", c.x, c.y, c.w, c.h, c.width, c.height));
        ASSERT_EQ(response.body.size(), static_cast<std::size_t>(c.width * c.height * 4));
        const bool exact = c.w % c.width == 0 && c.h % c.height == 0;
        const auto byteOf = [](const std::string& bytes, std::size_t at) {
            return static_cast<int>(static_cast<std::uint8_t>(bytes[at]));
        };
        int magenta = 0;
        for (int j = 0; j < c.height; ++j)
            for (int i = 0; i < c.width; ++i) {
                // Overlaps counted in units a sent pixel's width (height) in part pixels long.
                long long sums[3] = {0, 0, 0};
                bool overNan = false;
                for (int py = 0; py < c.h; ++py)
                    for (int px = 0; px < c.w; ++px) {
                        const long long across = std::min((i + 1) * c.w, (px + 1) * c.width) -
                                                 std::max(i * c.w, px * c.width);
                        const long long down = std::min((j + 1) * c.h, (py + 1) * c.height) -
                                               std::max(j * c.h, py * c.height);
                        if (across <= 0 || down <= 0)
                            continue;
                        const auto at = static_cast<std::size_t>(((c.y + py) * 24 + c.x + px) * 4);
                        overNan = overNan || full.compare(at, 4, "\xff\x00\xff\xff", 4) == 0;
                        for (int k = 0; k < 3; ++k)
                            sums[k] +=
                                across * down * byteOf(full, at + static_cast<std::size_t>(k));
                    }
                const long long area = static_cast<long long>(c.w) * c.h;
                const auto at = static_cast<std::size_t>((j * c.width + i) * 4);
                if (overNan) {
                    ++magenta;
                    ASSERT_EQ(response.body.substr(at, 4), std::string("\xff\x00\xff\xff", 4))
                        << i << ", " << j;
                    continue;
                }
                for (int k = 0; k < 3; ++k) {
                    const long long average = (2 * sums[k] + area) / (2 * area);
                    ASSERT_NEAR(byteOf(response.body, at + static_cast<std::size_t>(k)), average,
                                exact ? 0 : 1)
                        << i << ", " << j << " channel " << k;
                }
            }
        // No view here shows magenta but for a NaN.
        EXPECT_EQ(magenta > 0, c.nan);
    }
}

// Slot A's picture is sent again, at any part, after newer ones.
TEST_F(LookServiceTest, APictureKeptIsSentAfterNewerOnes) {
    const auto kept = changed({{"UseSSAO", 1}});
    const std::string part = "view=occlusion&x=2&y=2&w=20&h=12&width=10&height=6";
    const std::string before = answer(get("/api/pixels?" + part)).body;
    answerJson(post("/api/keep", Json{{"generation", kept->generation}}.dump()));
    changed({{"Matrix", 9}, {"Amount", 0.3}});
    EXPECT_NE(answer(get("/api/pixels?" + part)).body, before);
    EXPECT_EQ(answer(get(fmt::format("/api/pixels?{}&kept={}", part, kept->generation))).body,
              before);
}

TEST_F(LookServiceTest, AboutShowsTheToolsOwnBox) {
    const Json box = answerJson(post("/api/about", "{}"));
    EXPECT_EQ(box.at("caption"), "About this filter");
    EXPECT_EQ(box.at("text"), ToolSession(UMBRIX_PLUGIN_PATH).aboutText());
}

TEST_F(LookServiceTest, ResetsOneControlOrAll) {
    answerJson(post("/api/control", R"({"id":"Matrix","value":9})"));
    answerJson(post("/api/control", R"({"id":"CamFOV","value":"nan"})"));
    Json reset = answerJson(post("/api/reset", R"({"id":"CamFOV"})"));
    EXPECT_EQ(reset.at("reset"), Json({{"CamFOV", 45.0}}));
    EXPECT_EQ(reset.at("values").at("Matrix"), 9.0);
    reset = answerJson(post("/api/reset", "{}"));
    EXPECT_EQ(reset.at("reset").at("Matrix"), 5.0);
    EXPECT_EQ(reset.at("reset").size(), 10U);
    const auto picture = Fixture.pictureOf(reset.at("generation"));
    expectSameBits(*picture->result, *directRender({}));
}

// Tab A sets Matrix 7, tab B Matrix 16, tab A Amount 0.01: A must learn of B's Matrix, and the
// picture, its facts and its Save agree on the values it was rendered with.
TEST_F(LookServiceTest, EveryPictureCarriesTheValuesItWasRenderedWith) {
    fixturePicture();
    answerJson(post("/api/control", R"({"id":"Matrix","value":7})"));
    answerJson(post("/api/control", R"({"id":"Matrix","value":16})"));
    const Json change = answerJson(post("/api/control", R"({"id":"Amount","value":0.01})"));
    EXPECT_EQ(change.at("values").at("Matrix"), 16.0);
    EXPECT_EQ(change.at("values").at("Amount"), 0.01);
    const std::uint64_t generation = change.at("generation");
    const auto picture = Fixture.pictureOf(generation);
    expectSameBits(*picture->result, *directRender({{"Matrix", 16.0}, {"Amount", 0.01}}));
    const Json facts = answerJson(get(fmt::format("/api/result?generation={}", generation)));
    EXPECT_EQ(facts.at("values"), change.at("values"));
    const Json saved = answerJson(post("/api/save", Json{{"generation", generation}}.dump()));
    EXPECT_EQ(Json::parse(saved.at("settings").get<std::string>()), change.at("values"));
}

// A long render (Matrix 200 over a larger frame) stopped by Cancel, or because no page asks after
// it any more: it ends at its next block of rows, and a page waiting for it is told.
TEST(LookSessionTest, ARenderNobodyWaitsForStops) {
    for (const bool cancel : {true, false}) {
        SCOPED_TRACE(cancel ? "Cancel" : "every page gone");
        FrameSource frames;
        frames.paths = {"big.exr"};
        frames.numbers = {std::nullopt};
        frames.read = [](std::size_t) -> std::shared_ptr<const Frame> { return nullptr; };
        LookSession session(
            UMBRIX_PLUGIN_PATH, std::move(frames), [] {},
            cancel ? std::chrono::milliseconds(3'600'000) : std::chrono::milliseconds(100));
        for (const auto& [id, value] : {std::pair{"UseSSAO", 1.0}, std::pair{"Matrix", 200.0}})
            session.change(*findControl(id, session.controls(), id), value);
        const std::uint64_t generation = session.generation();
        session.start(std::make_shared<const Frame>(looktest::testFrame(640, 360)));
        while (session.progress().rows == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        LookService service(session, Access(Token, Port), {std::nullopt, {}});
        if (cancel) {
            EXPECT_EQ(service.handle(post("/api/cancel", "{}")).status, 200);
        }
        RenderProgress progress;
        while ((progress = session.progress()).generation != 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_EQ(progress.cancelled, generation);
        EXPECT_EQ(session.picture(), nullptr);
        const HttpResponse waiting =
            service.handle(get(fmt::format("/api/result?generation={}", generation)));
        EXPECT_EQ(Json::parse(waiting.body), Json({{"cancelled", generation}}));
    }
}

void showsEachView(const std::string& path, bool partPerView) {
    const std::shared_ptr<Frame> frame = openFrame(path, OpenOptions{});

    loadFrame(*frame);
    FrameSource frames;
    frames.paths = {path};
    frames.numbers = {std::nullopt};
    frames.read = [frame](std::size_t) -> std::shared_ptr<const Frame> { return frame; };
    std::mutex lock;
    std::condition_variable published;
    LookSession session(UMBRIX_PLUGIN_PATH, std::move(frames), [&] {
        std::lock_guard guard(lock);
        published.notify_all();
    });
    const auto pictureOf = [&](std::uint64_t generation) {
        std::unique_lock guard(lock);
        std::shared_ptr<const Picture> picture;
        published.wait(guard, [&] {
            picture = session.picture();
            return picture && picture->generation >= generation;
        });
        return picture;
    };
    session.change(*findControl("UseSSAO", session.controls(), "UseSSAO"), 1.0);
    session.start(frame);
    LookService service(session, Access(Token, Port), {std::nullopt, {}});
    const auto first = pictureOf(session.generation());
    EXPECT_EQ(first->views, (std::vector<std::string>{"left", "right"}));
    EXPECT_EQ(first->view, "left");
    const HttpResponse chosen = service.handle(post("/api/view", R"({"view": "right"})"));
    ASSERT_EQ(chosen.status, 200) << chosen.body;
    const auto right = pictureOf(Json::parse(chosen.body).at("generation"));
    EXPECT_EQ(right->view, "right");
    const Tool tool(UMBRIX_PLUGIN_PATH);
    ControlValues values = tool.defaults();
    values.set("UseSSAO", 1.0, "UseSSAO");
    // The right view alone: its part, or a frame of its own channels.
    std::shared_ptr<Frame> alone;
    if (partPerView) {
        OpenOptions options;
        options.part = "right";
        alone = openFrame(path, options);
        loadFrame(*alone);
    } else {
        alone = viewSource(*frame, 1);
    }
    expectSameBits(*right->result, *tool.render(alone, values, 0.0).image);
    Json facts;
    for (const auto& [name, value] : service.handle(get("/api/pixels?view=beauty")).headers)
        if (name == "X-Umbrix-Facts")
            facts = Json::parse(value);
    EXPECT_EQ(facts.at("beauty"), partPerView ? "R G B" : "right.R right.G right.B");
    EXPECT_EQ(Json::parse(service.handle(get("/api/probe?x=3&y=8")).body)
                  .at("values")
                  .at("depth")
                  .at("bits"),
              fmt::format("{:08x}", std::bit_cast<std::uint32_t>(
                                        static_cast<float>(2.0 + 0.5 + 0.15 * 3 + 0.7))));
    for (const char* bad : {R"({"view": "centre"})", R"({"view": 1})", "{}"})
        EXPECT_EQ(service.handle(post("/api/view", bad)).status, 400) << bad;
}

// A stereo frame's other view, chosen on the page, renders as `umbrix render` renders that view:
// from its own depth, its beauty by its own names; a view the frame lacks is refused. In either
// layout: one part naming its views, or a part per view.
TEST(LookSessionTest, ShowsEachViewOfAStereoFrame) {
    for (const bool partPerView : {false, true}) {
        SCOPED_TRACE(partPerView ? "a part per view" : "one part");
        std::string folder =
            (std::filesystem::temp_directory_path() / "umbrix-views-XXXXXX").string();
        ASSERT_NE(mkdtemp(folder.data()), nullptr);
        const std::string path = folder + "/stereo.exr";
        std::vector<apptest::ExrPart> parts;
        for (const std::string view : {"left", "right"}) {
            if (parts.empty() || partPerView)
                parts.push_back(apptest::exrPart(20, 12));
            apptest::ExrPart& part = parts.back();
            part.name = partPerView ? view : "";
            part.view = partPerView ? view : "";
            part.multiView = partPerView ? std::vector<std::string>{}
                                         : std::vector<std::string>{"left", "right"};
            const std::string prefix = view == "left" || partPerView ? "" : "right.";
            for (const char* name : {"R", "G", "B", "Z"})
                apptest::addChannel(part, prefix + name, Imf::FLOAT, [&](int x, int y) {
                    const double side = view == "left" ? 0.0 : 0.5;
                    return *name == 'Z' ? 2.0 + side + (0.1 + side * 0.1) * x + (y > 6 ? 0.7 : 0.0)
                                        : 0.1 + 0.02 * x + side * 0.3 + (*name - 'B') * 0.05;
                });
        }
        apptest::writeExrFile(path, parts);
        showsEachView(path, partPerView);
        std::filesystem::remove_all(folder);
    }
}

} // namespace
