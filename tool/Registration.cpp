// Everything the library builds when it loads, in the order it must be built; unload destroys it
// in reverse.

#include "host/Registry.h"
#include "host/ScriptInfo.h"
#include "host/ThreadedOperator.h"
#include "tool/ClassIdentifier.h"
#include "tool/Identifiers.h"
#include "tool/Umbrix.h"

#include <new>

FuID ID_Number("Number", true);
FuID ID_Image("Image", true);
FuID ID_CheckboxControl("CheckboxControl", true);
FuID ID_ComboControl("ComboControl", true);
FuID ID_SliderControl("SliderControl", true);
FuID ID_ButtonControl("ButtonControl", true);

namespace {

// No memory: null and no constructor. A throwing constructor: memory freed, exception passed on.
Object* createUmbrix(const Registry* reg, const ScriptVal& value, const TagList& tags) {
    return new (std::nothrow) Umbrix(reg, value, tags);
}

template <typename F> void* address(F function) {
    return reinterpret_cast<void*>(function);
}

ScriptInfoT<Umbrix> UmbrixScriptInfo(1, UmbrixClassIdentifier, "", "");

FuID UmbrixID(UmbrixClassIdentifier, true);

// clang-format off
Registry UmbrixRegistry(&ClassRegistry, UmbrixID,
                        TAG_RegInit, address(&Operator::RegInit),
                        TAG_RegCleanup, address(&Operator::RegCleanup),
                        TAG_RegVersion, 3,
                        TAG_RegBuildNote, "Built: Sep 15 2009",
                        TAG_RegParent, static_cast<void*>(&ThreadedOperator::ClassID),
                        TAG_RegScriptInfo, static_cast<void*>(&UmbrixScriptInfo),
                        TAG_RegFactory, address(&createUmbrix),
                        TAG_RegPriority, 343,
                        TAG_RegName, "Umbrix",
                        TAG_RegCategory, "Filter",
                        TAG_RegShortName, "S_1",
                        TAG_RegDescription, "Filter an image with SSAO.",
                        TAG_DONE);
// clang-format on

} // namespace
