#include "host/Number.h"
#include "host/SystemCalls.h"
#include "tool/Umbrix.h"

namespace {

constexpr const char* AboutCaption = "About this filter";

constexpr const char* AboutText =
    "Umbrix 1.00 (early wip) by the Umbrix developers\n"
    "https://umbrix.invalid/\n"
    "developers@umbrix.invalid\n"
    "\n"
    "\n"
    "\n"
    "Umbrix is a filter that outputs normals and SSAO, SSAO can be rendered\n"
    "based on either calculated or supplied normals, supplied will give you better results.";

} // namespace

void Umbrix::NotifyChanged(Input* in, Parameter* param, double time, TagList* tags) {
    if (param && in == InAbout && static_cast<Number*>(param)->Value >= 0.5)
        MessageBoxA(nullptr, AboutText, AboutCaption, MB_OK);
    ThreadedOperator::NotifyChanged(in, param, time, tags);
}
