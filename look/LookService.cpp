#include "look/LookService.h"

#include "app/Failure.h"
#include "app/core/ControlList.h"
#include "app/core/ControlSetting.h"
#include "app/core/PlaneSamples.h"
#include "app/core/SettingsFile.h"
#include "look/PageFiles.h"
#include "look/Views.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <fmt/format.h>
#include <fmt/ranges.h>
#include <nlohmann/json.hpp>

namespace umbrix::look {

namespace {

using Json = nlohmann::ordered_json;

HttpResponse jsonResponse(int status, const Json& body) {
    return {status, "application/json", body.dump(), {}, std::nullopt};
}

HttpResponse problem(int status, const std::string& text) {
    return jsonResponse(status, Json{{"error", text}});
}

// A value as JSON has no NaN or infinity: those as the words --set takes.
Json valueJson(double value) {
    if (std::isfinite(value))
        return value;
    return std::isnan(value) ? "nan" : (value > 0 ? "inf" : "-inf");
}

std::optional<Json> bodyObject(const HttpRequest& request) {
    Json body =
        Json::parse(request.body.empty() ? std::string("{}") : request.body, nullptr, false);
    if (body.is_discarded() || !body.is_object())
        return std::nullopt;
    return body;
}

// A whole number from a query, in [0, limit).
std::optional<long long> queryNumber(const HttpRequest& request, const std::string& name) {
    const auto text = queryValue(request.target, name);
    if (!text || text->empty())
        return std::nullopt;
    long long number = 0;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), number);
    if (error != std::errc() || end != text->data() + text->size())
        return std::nullopt;
    return number;
}

// A finite number from a query.
std::optional<float> queryFloat(const HttpRequest& request, const std::string& name) {
    const auto text = queryValue(request.target, name);
    if (!text || text->empty())
        return std::nullopt;
    float number = 0.0f;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), number);
    if (error != std::errc() || end != text->data() + text->size() || !std::isfinite(number))
        return std::nullopt;
    return number;
}

// The part of the picture and the size a page asks for (`shown` holds the whole picture at its
// size): x, y, w, h all or none, a part inside the picture; width, height both or neither, from 1
// to the part's size. What is wrong, or nothing.
std::string shownFrom(const HttpRequest& request, const Image& result, Shown& shown) {
    const auto given = [&](const char* name) {
        return queryValue(request.target, name).has_value();
    };
    const auto number = [&](const char* name, long long low, long long high) {
        const auto n = queryNumber(request, name);
        return n && *n >= low && *n <= high ? static_cast<int>(*n) : -1;
    };
    if (given("x") || given("y") || given("w") || given("h")) {
        const int x = number("x", 0, result.Width - 1);
        const int y = number("y", 0, result.Height - 1);
        const int w = x < 0 ? -1 : number("w", 1, result.Width - x);
        const int h = y < 0 ? -1 : number("h", 1, result.Height - y);
        if (w < 0 || h < 0)
            return fmt::format("x, y, w, h: a part of the {}x{} picture", result.Width,
                               result.Height);
        shown = {x, y, w, h, w, h};
    }
    if (given("width") || given("height")) {
        const int width = number("width", 1, shown.width);
        const int height = number("height", 1, shown.height);
        if (width < 0 || height < 0)
            return fmt::format("width, height: the size sent, from 1x1 to the part's {}x{}",
                               shown.width, shown.height);
        shown.sentWidth = width;
        shown.sentHeight = height;
    }
    return {};
}

const char* contentTypeOf(std::string_view file) {
    if (file.ends_with(".js"))
        return "text/javascript; charset=utf-8";
    if (file.ends_with(".css"))
        return "text/css; charset=utf-8";
    return "text/html; charset=utf-8";
}

Json floatJson(float value) {
    return {{"text", fmt::format("{}", value)},
            {"bits", fmt::format("{:08x}", std::bit_cast<std::uint32_t>(value))}};
}

// Every value by identifier, as a settings file holds them.
Json valuesJson(const ControlValues& values) {
    return Json::parse(values.json());
}

// What the page shows beside a picture.
Json factsOf(const Picture& picture) {
    Json facts = {{"generation", picture.generation},
                  {"frame", picture.frameIndex},
                  {"views", picture.views},
                  {"view", picture.view},
                  {"milliseconds", picture.milliseconds},
                  {"warnings", picture.warnings}};
    if (picture.values)
        facts["values"] = valuesJson(*picture.values);
    if (!picture.error.empty())
        facts["error"] = picture.error;
    if (picture.result) {
        const Windows& w = picture.frame->windows;
        facts["width"] = picture.result->Width;
        facts["height"] = picture.result->Height;
        facts["x"] = w.x;
        facts["y"] = w.y;
        facts["beauty"] =
            beautyOf(*picture.frame) ? Json(beautyOf(*picture.frame)->names) : Json(nullptr);
        facts["channels"] = channelNames(*picture.frame);
    }
    return facts;
}

} // namespace

LookService::LookService(LookSession& session, Access access, Saving saving,
                         std::string startedFrom)
    : Session(session), Rights(std::move(access)), Save(std::move(saving)),
      StartedFrom(std::move(startedFrom)) {}

HttpResponse LookService::handle(const HttpRequest& request) {
    if (request.target.size() > MaxTarget)
        return textResponse(414, "request target too long");
    if (request.body.size() > MaxBody)
        return textResponse(413, "request body too large");
    if (auto refused = Rights.refusal(request))
        return *refused;
    Session.watched();
    const std::string path = targetPath(request.target);
    const bool get = request.method == "GET";
    const bool post = request.method == "POST";
    struct Route {
        const char* path;
        bool post;
        HttpResponse (LookService::*answer)(const HttpRequest&);
    };
    static const Route routes[] = {
        {"/api/result", false, &LookService::result},
        {"/api/pixels", false, &LookService::pixels},
        {"/api/probe", false, &LookService::probe},
        {"/api/control", true, &LookService::control},
        {"/api/reset", true, &LookService::reset},
        {"/api/frame", true, &LookService::frame},
        {"/api/depth", true, &LookService::depth},
        {"/api/view", true, &LookService::view},
        {"/api/state", false, &LookService::state},
        {"/api/about", true, &LookService::about},
        {"/api/save", true, &LookService::save},
        {"/api/progress", false, &LookService::progress},
        {"/api/cancel", true, &LookService::cancel},
        {"/api/render", true, &LookService::render},
        {"/api/keep", true, &LookService::keep},
    };
    for (const Route& route : routes)
        if (path == route.path) {
            if ((route.post && !post) || (!route.post && !get))
                return textResponse(405, "method not allowed");
            return (this->*route.answer)(request);
        }
    if (!get)
        return textResponse(405, "method not allowed");
    if (path == "/")
        return page("index.html");
    if (path == "/look.js" || path == "/look.css")
        return page(path.substr(1));
    return textResponse(404, "not found");
}

HttpResponse LookService::page(std::string_view name) {
    const PageFile* file = pageFile(name);
    if (!file)
        return textResponse(404, "not found");
    std::string bytes(file->bytes);
    // The page's script and styles are asked for with the token, as the page itself was.
    for (std::size_t at = name == "index.html" ? bytes.find("{token}") : std::string::npos;
         at != std::string::npos; at = bytes.find("{token}", at))
        bytes.replace(at, 7, Rights.token());
    return {200, contentTypeOf(name), std::move(bytes), {}, std::nullopt};
}

HttpResponse LookService::state(const HttpRequest&) {
    const std::vector<Input*> controls = Session.controls();
    Json list = Json::parse(controlsJson(controls));
    for (std::size_t k = 0; k < controls.size(); ++k)
        list[k]["value"] = valueJson(Session.value(*controls[k]));
    Json frames = Json::array();
    const FrameSource& source = Session.frames();
    for (std::size_t k = 0; k < source.paths.size(); ++k)
        frames.push_back(source.numbers[k] ? fmt::format("{}", *source.numbers[k])
                                           : source.paths[k]);
    return jsonResponse(200, {{"controls", list},
                              {"frames", frames},
                              {"frame", Session.frameIndex()},
                              {"generation", Session.generation()},
                              {"saveFile", Save.file ? Json(*Save.file) : Json(nullptr)},
                              {"renderLine", Save.renderLine},
                              {"startedFrom", StartedFrom},
                              {"depth", depthConventionText(Session.depth())}});
}

HttpResponse LookService::result(const HttpRequest& request) {
    // A page waits for the picture after the one it shows, which may be a change yet to come.
    const auto wanted = queryNumber(request, "generation");
    if (!wanted || *wanted < 0 || static_cast<std::uint64_t>(*wanted) > Session.generation() + 1)
        return problem(400, "generation: not one the page was given");
    const auto generation = static_cast<std::uint64_t>(*wanted);
    const std::shared_ptr<const Picture> picture = Session.picture();
    if (!picture || picture->generation < generation) {
        if (const std::uint64_t cancelled = Session.progress().cancelled; cancelled >= generation)
            return jsonResponse(200, {{"cancelled", cancelled}});
        return {200, "application/json", {}, {}, generation};
    }
    return jsonResponse(200, factsOf(*picture));
}

HttpResponse LookService::pixels(const HttpRequest& request) {
    const auto name = queryValue(request.target, "view");
    const std::optional<View> view = name ? viewNamed(*name) : std::nullopt;
    const auto channel = queryValue(request.target, "channel");
    if (!view && !channel)
        return problem(400, "view: one of normals, occlusion, shaded, depth, beauty; or a channel");
    const auto low = queryFloat(request, "low");
    const auto high = queryFloat(request, "high");
    if (low.has_value() != high.has_value())
        return problem(400, "low, high: the depth's range, both or neither");
    std::shared_ptr<const Picture> picture = Session.picture();
    if (queryValue(request.target, "kept")) {
        const auto generation = queryNumber(request, "kept");
        if (!generation)
            return problem(400, "kept: a picture's generation, a whole number");
        const auto kept = std::find_if(Kept.begin(), Kept.end(), [&](const auto& k) {
            return static_cast<long long>(k->generation) == *generation;
        });
        if (kept == Kept.end())
            return problem(404, "kept: no picture of that generation is kept");
        picture = *kept;
    }
    if (!picture || !picture->result)
        return problem(404, "no picture");
    const Image& result = *picture->result;
    Shown shown = Shown::whole(result);
    if (const std::string refused = shownFrom(request, result, shown); !refused.empty())
        return problem(400, refused);
    HttpResponse response{200, "application/octet-stream", {}, {}, std::nullopt};
    if (view) {
        response.body = viewPixels(*view, *picture->frame, result, shown,
                                   low ? std::optional(std::pair(*low, *high)) : std::nullopt);
    } else if (auto pixels = channelPixels(*channel, *picture->frame, result, shown)) {
        response.body = std::move(*pixels);
    } else {
        return problem(400, "channel: none of that name");
    }
    // The facts travel with the pixels: a newer picture may be published while they do.
    response.headers = {
        {"X-Umbrix-Facts", factsOf(*picture).dump(-1, ' ', true, Json::error_handler_t::replace)},
        {"X-Umbrix-Generation", fmt::format("{}", picture->generation)},
        {"X-Umbrix-Width", fmt::format("{}", result.Width)},
        {"X-Umbrix-Height", fmt::format("{}", result.Height)},
        {"X-Umbrix-Part", fmt::format("{},{},{},{},{},{}", shown.x, shown.y, shown.width,
                                      shown.height, shown.sentWidth, shown.sentHeight)}};
    return response;
}

// The one picture of that generation, if it is the newest, held for the page's slot A: the page
// asks for its pixels again whenever it shows another part.
HttpResponse LookService::keep(const HttpRequest& request) {
    const auto body = bodyObject(request);
    if (!body || !body->contains("generation") || !(*body)["generation"].is_number_unsigned())
        return problem(400, "a keep is {\"generation\": G}, the picture shown");
    const std::shared_ptr<const Picture> picture = Session.picture();
    if (!picture || !picture->result ||
        picture->generation != (*body)["generation"].get<std::uint64_t>())
        return problem(409, "the picture shown is not the newest: keep it once it is");
    if (std::find(Kept.begin(), Kept.end(), picture) == Kept.end()) {
        if (Kept.size() == MaxKept)
            Kept.pop_front();
        Kept.push_back(picture);
    }
    return jsonResponse(200, {{"kept", picture->generation}});
}

HttpResponse LookService::probe(const HttpRequest& request) {
    const std::shared_ptr<const Picture> picture = Session.picture();
    if (!picture || !picture->result)
        return problem(404, "no picture");
    const Image& result = *picture->result;
    const auto x = queryNumber(request, "x");
    const auto y = queryNumber(request, "y");
    if (!x || !y || *x < 0 || *y < 0 || *x >= result.Width || *y >= result.Height)
        return problem(400, "x, y: a pixel of the picture");
    const int px = static_cast<int>(*x);
    const int py = static_cast<int>(*y);
    Json values = Json::object();
    const char* names[] = {"R", "G", "B", "A"};
    for (int channel = 0; channel < 4; ++channel)
        values[names[channel]] = floatJson(minihost::sample(result, px, py, channel));
    values["depth"] = floatJson(PlaneSamples::depth(*picture->frame).at(px, py));
    const Windows& w = picture->frame->windows;
    return jsonResponse(200, {{"generation", picture->generation},
                              {"x", px + w.x},
                              {"y", py + w.y},
                              {"values", values}});
}

HttpResponse LookService::control(const HttpRequest& request) {
    const auto body = bodyObject(request);
    if (!body || !body->contains("id") || !(*body)["id"].is_string() || !body->contains("value"))
        return problem(400, "a control change is {\"id\": ..., \"value\": ...}");
    const std::string id = (*body)["id"].get<std::string>();
    const Json& given = (*body)["value"];
    try {
        Input* in = findControl(id, Session.controls(), id);
        const minihost::ControlInfo& info = minihost::info(*in);
        const double value = controlValueFromJson(info, given.dump(), info.id);
        const std::uint64_t generation = Session.change(*in, value);
        // Every value, since another page may have changed others.
        return jsonResponse(200, {{"generation", generation},
                                  {"value", valueJson(value)},
                                  {"values", valuesJson(ControlValues(Session.controls()))}});
    } catch (const UsageError& e) {
        return problem(400, e.what());
    }
}

HttpResponse LookService::reset(const HttpRequest& request) {
    const auto body = bodyObject(request);
    if (!body)
        return problem(400, "a reset is {\"id\": ...} or {} for every control");
    std::vector<Input*> chosen;
    try {
        if (body->contains("id")) {
            if (!(*body)["id"].is_string())
                return problem(400, "id: a control's identifier");
            chosen.push_back(
                findControl((*body)["id"].get<std::string>(), Session.controls(), "reset"));
        } else {
            for (Input* in : Session.controls())
                if (minihost::info(*in).defaultValue)
                    chosen.push_back(in);
        }
    } catch (const UsageError& e) {
        return problem(400, e.what());
    }
    std::uint64_t generation = Session.generation();
    Json values = Json::object();
    for (Input* in : chosen) {
        const minihost::ControlInfo& info = minihost::info(*in);
        const double value = info.defaultValue.value_or(0.0);
        generation = Session.change(*in, value);
        values[info.id] = valueJson(value);
    }
    return jsonResponse(200, {{"generation", generation},
                              {"reset", values},
                              {"values", valuesJson(ControlValues(Session.controls()))}});
}

HttpResponse LookService::about(const HttpRequest&) {
    const auto box = Session.pressAbout();
    if (!box)
        return problem(500, "the tool showed no About box");
    return jsonResponse(200, {{"caption", box->first}, {"text", box->second}});
}

HttpResponse LookService::frame(const HttpRequest& request) {
    const auto body = bodyObject(request);
    if (!body || !body->contains("index") || !(*body)["index"].is_number_integer())
        return problem(400, "a frame is {\"index\": N}");
    const auto index = (*body)["index"].get<long long>();
    if (index < 0 || static_cast<std::size_t>(index) >= Session.frames().paths.size())
        return problem(400, fmt::format("index: 0 to {}", Session.frames().paths.size() - 1));
    return jsonResponse(200, {{"generation", Session.showFrame(static_cast<std::size_t>(index))}});
}

HttpResponse LookService::view(const HttpRequest& request) {
    const auto body = bodyObject(request);
    if (!body || !body->contains("view") || !(*body)["view"].is_string())
        return problem(400, "a view is {\"view\": NAME}, one of the picture's views");
    std::string name = (*body)["view"].get<std::string>();
    const std::shared_ptr<const Picture> picture = Session.picture();
    const std::vector<std::string> views = picture ? picture->views : std::vector<std::string>{};
    if (std::find(views.begin(), views.end(), name) == views.end())
        return problem(400, views.empty() ? std::string("view: the frame has one view")
                                          : fmt::format("view: one of {}", fmt::join(views, ", ")));
    return jsonResponse(200, {{"generation", Session.showView(std::move(name))}});
}

HttpResponse LookService::depth(const HttpRequest& request) {
    const auto body = bodyObject(request);
    if (!body || !body->contains("depth") || !(*body)["depth"].is_string())
        return problem(400, "a depth is {\"depth\": \"z\"}, as --depth takes it");
    try {
        const DepthConvention depth = parseDepthConvention((*body)["depth"].get<std::string>());
        return jsonResponse(200, {{"generation", Session.setDepth(depth)}});
    } catch (const UsageError& e) {
        return problem(400, e.what());
    }
}

// The values of the picture the page shows, which need not be the newest: another page may have
// changed them since.
HttpResponse LookService::save(const HttpRequest& request) {
    const auto body = bodyObject(request);
    if (!body || !body->contains("generation") || !(*body)["generation"].is_number_unsigned())
        return problem(400, "a save is {\"generation\": G}, the picture shown");
    const std::shared_ptr<const Picture> picture = Session.picture();
    if (!picture || !picture->values ||
        picture->generation != (*body)["generation"].get<std::uint64_t>())
        return problem(409, "the picture shown is not the newest: Save once it is");
    if (!Save.file)
        return jsonResponse(200, {{"settings", picture->values->json()}});
    try {
        picture->values->save(*Save.file);
    } catch (const std::exception& e) {
        return problem(500, e.what());
    }
    return jsonResponse(200, {{"file", *Save.file}, {"renderLine", Save.renderLine}});
}

HttpResponse LookService::progress(const HttpRequest&) {
    const RenderProgress now = Session.progress();
    return jsonResponse(200, {{"generation", now.generation},
                              {"rows", now.rows},
                              {"totalRows", now.totalRows},
                              {"milliseconds", now.milliseconds},
                              {"cancelled", now.cancelled}});
}

HttpResponse LookService::cancel(const HttpRequest&) {
    Session.cancel();
    return jsonResponse(200, {{"cancelled", Session.progress().cancelled}});
}

HttpResponse LookService::render(const HttpRequest&) {
    return jsonResponse(200, {{"generation", Session.renderAgain()}});
}

} // namespace umbrix::look
