#pragma once

#include "look/Access.h"
#include "look/HttpMessage.h"
#include "look/LookSession.h"

#include <deque>
#include <memory>
#include <optional>
#include <string>

namespace umbrix::look {

// What the page may do, request by request: the handler behind the server, apart from any socket.
//
//   GET  /?token=T                 the page (its script and styles asked for with T too); every
//                                  other request carries T in the X-Umbrix-Token header
//   GET  /look.js, /look.css       its script and styles
//   GET  /api/state                the controls as the tool declares them, with their values;
//                                  the frames; where Save writes; where the first values came from
//   GET  /api/result?generation=G  the newest picture's facts once generation G or a newer one is
//                                  rendered: size, frame, render time, warnings, the values it
//                                  was rendered with, or the frame's error; {"cancelled": C} when
//                                  G was given up unrendered
//   GET  /api/pixels?view=V        that picture as 8-bit RGBA rows (see Views.h), or
//        &channel=C                one channel alone; the depth over &low=L&high=H;
//        &x=X&y=Y&w=W&h=H          only that part of it (all four; inside the picture);
//        &width=SW&height=SH       sent at that size (both; from 1 to the part's size): each
//                                  pixel the average of the part's under it;
//        &kept=G                   the picture of generation G kept by /api/keep
//                                  X-Umbrix-Part says what was sent: x,y,w,h,width,height
//   GET  /api/probe?x=X&y=Y        the output's R G B A and the input's depth at a pixel
//   GET  /api/progress             the render under way: rows done, time; the newest cancelled
//   POST /api/control  {"id", "value"}  one control changed, as --set takes the value; the answer
//                                  holds every value, as another page may have changed some
//   POST /api/reset    {"id"} or {}     one control, or all, back to the default
//   POST /api/cancel               gives up the render under way (and any waiting)
//   POST /api/render               renders the values in effect again
//   POST /api/about                pressing About: the box the tool shows
//   POST /api/frame    {"index"}   another frame of the sequence
//   POST /api/depth    {"depth"}   how the depth channel measures depth, as --depth takes it
//   POST /api/view     {"view"}    another view of a multi-view frame, one the picture lists
//   POST /api/keep     {"generation"}  holds that picture, if it is the newest, for the page's
//                                  slot A (the two kept last are held)
//   POST /api/save     {"generation"}  the values of that picture, if it is the newest, into
//                                  --save-settings' file, or back as a settings file's text
class LookService {
  public:
    struct Saving {
        std::optional<std::string> file; // --save-settings
        std::string renderLine;          // the command that renders the sequence with it
    };

    // `startedFrom` tells the page where its first values came from when the input stored a look
    // ("Started from the look stored in shot.exr"); empty when they are the tool's defaults.
    LookService(LookSession& session, Access access, Saving saving, std::string startedFrom = {});

    HttpResponse handle(const HttpRequest& request);

    // A request's line and headers, and its body, at most: the server holds them to these too.
    static constexpr std::size_t MaxTarget = 1024;
    static constexpr std::size_t MaxBody = 4096;

  private:
    LookSession& Session;
    Access Rights;
    Saving Save;
    std::string StartedFrom;
    // Pictures held for a slot A, oldest first. The server answers one request at a time.
    static constexpr std::size_t MaxKept = 2;
    std::deque<std::shared_ptr<const Picture>> Kept;

    HttpResponse page(std::string_view file);
    HttpResponse state(const HttpRequest& request);
    HttpResponse result(const HttpRequest& request);
    HttpResponse pixels(const HttpRequest& request);
    HttpResponse probe(const HttpRequest& request);
    HttpResponse control(const HttpRequest& request);
    HttpResponse reset(const HttpRequest& request);
    HttpResponse about(const HttpRequest& request);
    HttpResponse frame(const HttpRequest& request);
    HttpResponse depth(const HttpRequest& request);
    HttpResponse view(const HttpRequest& request);
    HttpResponse save(const HttpRequest& request);
    HttpResponse keep(const HttpRequest& request);
    HttpResponse progress(const HttpRequest& request);
    HttpResponse cancel(const HttpRequest& request);
    HttpResponse render(const HttpRequest& request);
};

} // namespace umbrix::look
